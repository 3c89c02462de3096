// The web console's password rule, hash and verification, including stored values that are
// damaged or not ours.
#include "web/web_password.h"

#include <chrono>
#include <gtest/gtest.h>

namespace gw {

TEST(WebPassword, RuleHashAndVerify) {
    EXPECT_EQ(webPasswordProblem("eight ch"), "");
    EXPECT_EQ(webPasswordProblem(std::string(64, 'x')), "");
    EXPECT_EQ(webPasswordProblem("\xc3\xa9t\xc3\xa9 long"), ""); // 8 characters, 10 bytes
    EXPECT_NE(webPasswordProblem("seven c"), "");
    EXPECT_NE(webPasswordProblem(std::string(65, 'x')), "");
    EXPECT_NE(webPasswordProblem(std::string(30, 'x') + "\xc3"), ""); // not UTF-8
    EXPECT_NE(webPasswordProblem("tab\there ok"), "");
    EXPECT_NE(webPasswordProblem("c1 \xc2\x85 control"), "");

    const std::string stored = hashWebPassword("correct horse");
    EXPECT_EQ(stored.rfind("pbkdf2-sha256$", 0), 0u) << stored;
    EXPECT_TRUE(verifyWebPassword("correct horse", stored));
    EXPECT_FALSE(verifyWebPassword("correct horsE", stored));
    EXPECT_FALSE(verifyWebPassword("", stored));
    EXPECT_NE(hashWebPassword("correct horse"), stored) << "each hash has its own salt";
}

TEST(WebPassword, MalformedStoredValuesNeverVerify) {
    const std::string stored = hashWebPassword("correct horse");
    const std::size_t iter = stored.find('$') + 1;
    const std::size_t salt = stored.find('$', iter) + 1;
    const std::size_t key = stored.find('$', salt) + 1;
    const std::string scheme = stored.substr(0, iter);
    const std::string rest = stored.substr(salt); // salt and key
    for (const std::string& bad : {
             std::string(), std::string("$$$"), stored + "$",
             stored.substr(0, stored.size() - 4),                      // key cut short
             stored.substr(0, key - 1),                                // no key
             "pbkdf2-sha1$" + stored.substr(iter),                     // another scheme
             scheme + "0$" + rest,                                     // no iterations
             scheme + "-5$" + rest,                                    // not a count
             scheme + "99999999999999999999$" + rest,                  // overflow
             scheme + "2000000000$" + rest,                            // would stall the node
             stored.substr(0, salt) + "!!!!" + stored.substr(key - 1), // salt not base64
             stored.substr(0, key) + "*" + stored.substr(key + 1),     // key not base64
         })
        EXPECT_FALSE(verifyWebPassword("correct horse", bad)) << bad;
    // A count that would hold the node for seconds is refused before any hashing.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(verifyWebPassword("correct horse", scheme + "2500000$" + rest));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

} // namespace gw
