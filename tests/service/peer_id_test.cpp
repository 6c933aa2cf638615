// The peer id: fallback, product mark and misbehaving libraries.
#include <gtest/gtest.h>

#include "service/peer_id.h"
#include "tests/service/service_test_support.h"

using namespace qm::win32::net;
using service_test::beside_exe;

TEST(peer_id_test, product_characters) {
    EXPECT_EQ(peer_id_product_char(0), '1');
    EXPECT_EQ(peer_id_product_char(1), '2');
    EXPECT_EQ(peer_id_product_char(16), '6');   // five digits
    EXPECT_EQ(peer_id_product_char(32), '8');   // six digits
    EXPECT_EQ(peer_id_product_char(64), '9');   // seven digits
    EXPECT_EQ(peer_id_product_char(128), 'A');  // eight digits
    EXPECT_EQ(peer_id_product_char(0x100000), 'N');
}

TEST(peer_id_test, library_answers_are_marked_or_fall_back) {
    EXPECT_EQ(get_peer_id(0x100000, beside_exe(L"no_such_peer.dll").c_str()), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(get_peer_id(0x100000, beside_exe(L"fake_peer_good.dll").c_str()), "0123456789ABCDEN");
    EXPECT_EQ(get_peer_id(0, beside_exe(L"fake_peer_good.dll").c_str()), "0123456789ABCDE1");
    // Shorter than sixteen characters: no place for the mark.
    EXPECT_EQ(get_peer_id(0x100000, beside_exe(L"fake_peer_short.dll").c_str()),
              "FFFFFFFFFFFFFFFF");
    // A length beyond the buffer is not believed.
    const std::string wild = get_peer_id(0x100000, beside_exe(L"fake_peer_wild.dll").c_str());
    EXPECT_EQ(wild, "0123456789ABCDENXYZ");
    // The engine library has no get_peer_id entry.
    EXPECT_EQ(get_peer_id(0x100000, beside_exe(L"fake_engine.dll").c_str()), "FFFFFFFFFFFFFFFF");
    // The default location is beside the program, where there is none.
    EXPECT_EQ(get_peer_id(0x100000, nullptr), "FFFFFFFFFFFFFFFF");
}
