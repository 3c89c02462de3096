// CList: the ordered list that carries list replies and the two server queues. A record
// added to a list belongs to the list until it is taken off; then it belongs to the taker.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

namespace gw {

template <class T> class CList {
  public:
    CList() = default;
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;

    std::int32_t Count() const { return static_cast<std::int32_t>(m_items.size()); }

    // Appends at the tail; the list takes ownership. An empty pointer is ignored.
    void Add(std::unique_ptr<T> item) {
        if (item) m_items.push_back(std::move(item));
    }

    // Takes the head (or tail) off and hands it over; empty pointer on an empty list.
    std::unique_ptr<T> RemoveFirst() {
        if (m_items.empty()) return nullptr;
        std::unique_ptr<T> item = std::move(m_items.front());
        m_items.pop_front();
        return item;
    }
    std::unique_ptr<T> RemoveLast() {
        if (m_items.empty()) return nullptr;
        std::unique_ptr<T> item = std::move(m_items.back());
        m_items.pop_back();
        return item;
    }

    // Looks at an item without taking it (0 is the head); null when out of range.
    const T* peek(std::int32_t index) const {
        if (index < 0 || index >= Count()) return nullptr;
        return m_items[static_cast<std::size_t>(index)].get();
    }

  private:
    std::deque<std::unique_ptr<T>> m_items;
};

} // namespace gw
