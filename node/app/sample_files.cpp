// Copies the shipped samples into the default file folder.
#include "app/sample_files.h"

#include "common/paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace gw {

int installSamples(const std::string& folder) {
    const QString target = QString::fromStdString(folder);
    if (!QDir().mkpath(target)) return 0;
    int copied = 0;
    QDirIterator samples(":/samples", QDir::Files);
    while (samples.hasNext()) {
        const QString source = samples.next();
        const QString destination = QDir(target).filePath(QFileInfo(source).fileName());
        if (QFileInfo::exists(destination)) continue;
        if (!QFile::copy(source, destination)) continue;
        // Resource files are read-only; the operator edits the copies.
        QFile::setPermissions(destination, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadGroup | QFileDevice::ReadOther);
        ++copied;
    }
    return copied;
}

} // namespace gw
