// The walk over links, on a store of our own: links cannot be made through
// the test registry.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MyRegistry/registry.h"
#include "Platform/registry_store.h"
#include "hivTAP/walk_plan.h"
#include "hivTAP/wildcard_walk.h"
#include "tests/memory_store.h"
#include "tests/path_sink.h"

namespace {

const char kSystem[] = "\\Registry\\Machine\\System";

class PatternLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = std::make_unique<MemoryStore>();
    store->AddRoot(kHkeyLocalMachine, "\\Registry\\Machine");
    const std::string system = kSystem;
    store->Set(system + "\\ControlSet001\\Services\\A", "Start", 4, std::string("\1\0\0\0", 4));
    store->Set(system + "\\ControlSet002\\Services\\B", "Start", 4, std::string("\2\0\0\0", 4));
    store->AddLink(system + "\\CurrentControlSet", system + "\\ControlSet001");
    // A link to its own parent, and two links to each other.
    store->Set(system + "\\Loop", "v", 1, std::string("v", 2));
    store->AddLink(system + "\\Loop\\Back", system + "\\Loop");
    store->AddLink(system + "\\Ping", system + "\\Pong");
    store->AddLink(system + "\\Pong", system + "\\Ping");
    platform::SetRegistryStore(std::move(store));
  }
  void TearDown() override { platform::SetRegistryStore(nullptr); }

  // The /N paths of the values (or keys) that `line` beneath HKLM matches.
  static std::vector<std::string> Shown(const std::string& line, std::size_t cap = 100,
                                        bool* complete = nullptr) {
    return WalkedPaths("HKLM\\" + line, cap, false, complete);
  }
};

using Paths = std::vector<std::string>;

TEST_F(PatternLinkTest, StarDoesNotEnterLinks) {
  EXPECT_EQ(Shown("System\\*\\Services\\*\\Start"),
            (Paths{"ControlSet001\\Services\\A\\Start", "ControlSet002\\Services\\B\\Start"}));
  EXPECT_EQ(Shown("System\\*\\*"), (Paths{"Loop\\v"}));
  EXPECT_EQ(Shown("System\\Loop\\*\\*\\*\\*"), Paths{});
  // Nor does `**`, at any depth, and a listing lists a link without entering it.
  EXPECT_EQ(Shown("System\\**\\*"), (Paths{"ControlSet001\\Services\\A\\Start",
                                           "ControlSet002\\Services\\B\\Start", "Loop\\v"}));
  EXPECT_EQ(Shown("System\\**\\"),
            (Paths{"ControlSet001\\", "ControlSet001\\Services\\", "ControlSet001\\Services\\A\\",
                   "ControlSet002\\", "ControlSet002\\Services\\", "ControlSet002\\Services\\B\\",
                   "Loop\\"}));
}

TEST_F(PatternLinkTest, LinksNamedLiterallyAreFollowed) {
  EXPECT_EQ(Shown("System\\CurrentControlSet\\Services\\*\\Start"), (Paths{"A\\Start"}));
  EXPECT_EQ(Shown("System\\Loop\\Back\\Back\\Back\\*"), (Paths{"v"}));
  // A loop of links opens nothing, and ends.
  EXPECT_EQ(Shown("System\\Ping\\*\\*"), Paths{});
}

TEST_F(PatternLinkTest, CapCountsValuesAcrossKeys) {
  bool complete = true;
  EXPECT_EQ(Shown("System\\ControlSet*\\Services\\*\\Start", 1, &complete),
            (Paths{"ControlSet001\\Services\\A\\Start"}));
  EXPECT_FALSE(complete);
  EXPECT_EQ(Shown("System\\ControlSet*\\Services\\*\\Start", 2, &complete).size(), 2u);
  EXPECT_TRUE(complete);
}

}  // namespace
