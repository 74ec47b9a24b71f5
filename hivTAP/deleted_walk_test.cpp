// The walk's second part under /D, on a store of our own whose hive holds
// deleted records: which ones a line matches, how their paths are marked,
// and the cap they count in.
#include "hivTAP/deleted_walk.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "MyRegistry/registry.h"
#include "Platform/charset_posix.h"
#include "Platform/codepage.h"
#include "hivTAP/walk_plan.h"
#include "hivTAP/wildcard_walk.h"
#include "tests/memory_store.h"
#include "tests/path_sink.h"

namespace {

using platform::RegDeletedKey;
using platform::RegDeletedValue;

const char kHive[] = "\\Registry\\Machine\\System";

RegDeletedValue Value(const std::u16string& name, bool reliable = true) {
  RegDeletedValue value;
  value.name = name;
  value.type = 1;
  value.data = reliable ? std::string("z\0\0\0", 4) : std::string();
  value.reliable = reliable;
  return value;
}

// A store whose System hive holds deleted records: beneath a key, those whose
// path starts with the key's own; partial keys and orphans at its root only.
class DeletedStore : public MemoryStore {
 public:
  bool DeletedRecords(const std::string& path, std::vector<RegDeletedKey>* keys,
                      std::vector<RegDeletedValue>* orphans) override {
    const std::u16string root = platform::FoldCase(platform::WidenAnsi(kHive));
    std::u16string key = platform::FoldCase(platform::Utf8ToUtf16Replacing(path));
    if (key.compare(0, root.size(), root) != 0) return true;
    std::vector<std::u16string> own;
    for (std::size_t at = root.size(); at < key.size();) {
      const std::size_t end = std::min(key.find(u'\\', at + 1), key.size());
      own.push_back(key.substr(at + 1, end - at - 1));
      at = end;
    }
    for (const RegDeletedKey& k : keys_) {
      if (k.partial) {
        if (own.empty()) keys->push_back(k);
        continue;
      }
      bool beneath = k.path.size() >= own.size();
      for (std::size_t i = 0; beneath && i < own.size(); ++i) {
        beneath = platform::FoldCase(k.path[i]) == own[i];
      }
      if (!beneath) continue;
      keys->push_back(k);
      keys->back().path.erase(keys->back().path.begin(),
                              keys->back().path.begin() + static_cast<std::ptrdiff_t>(own.size()));
    }
    if (own.empty()) *orphans = orphans_;
    return true;
  }
  bool HoldsDeletedRecords() const override { return true; }

  std::vector<RegDeletedKey> keys_;
  std::vector<RegDeletedValue> orphans_;
};

class DeletedWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = std::make_unique<DeletedStore>();
    store->AddRoot(kHkeyLocalMachine, "\\Registry\\Machine");
    store->Set(std::string(kHive) + "\\Live\\Run", "keep", 1, std::string("k", 2));
    RegDeletedKey gone;
    gone.path = {u"Live", u"Run", u"Gone \u4e2d"};
    gone.values = {Value(u"x"), Value(u"bad", false)};
    RegDeletedKey old;
    old.path = {u"Old"};
    old.values = {Value(u"")};
    RegDeletedKey lost;
    lost.partial = true;
    lost.path = {u"Lost", u"Sub"};
    lost.values = {Value(u"p%")};
    store->keys_ = {gone, old, lost};
    store->orphans_ = {Value(u"o")};
    platform::SetRegistryStore(std::move(store));
  }
  void TearDown() override { platform::SetRegistryStore(nullptr); }

  // The /N paths of what `line` beneath HKLM matches, live then recovered.
  static std::vector<std::string> Shown(const std::string& line, std::size_t cap = 100,
                                        bool* complete = nullptr) {
    return WalkedPaths("HKLM\\" + line, cap, true, complete);
  }
};

using Paths = std::vector<std::string>;

TEST_F(DeletedWalkTest, LinesMatchTheRecordsBeneathTheirLiteralStart) {
  const std::string gone = platform::WideToAnsi(u"Gone \u4e2d");
  const struct {
    std::string line;
    Paths shown;
  } cases[] = {
      // Partial keys and orphans only where `**` alone follows the hive's root.
      {"System\\**\\*",
       {"Live\\Run\\keep", "%!Live\\Run\\" + gone + "\\x", "%!Live\\Run\\" + gone + "\\bad%~",
        "%!Old\\@", "%!%?\\Lost\\Sub\\p%25", "%!%?\\o"}},
      {"System\\Live\\*\\*\\*", {"%!Run\\" + gone + "\\x", "%!Run\\" + gone + "\\bad%~"}},
      {"System\\*\\@", {"%!Old\\@"}},
      // A start gone from the live tree: its literal rest matched in any case.
      {"System\\OLD\\*", {"%!@"}},
      {"System\\LIVE\\run\\" + gone + "\\b*", {"%!" + gone + "\\bad%~"}},
      // No wildcard: nothing recovered.
      {"System\\Old\\@", {}},
      {"System\\**\\",
       {"Live\\", "Live\\Run\\", "%!Live\\Run\\" + gone + "\\", "%!Old\\", "%!%?\\Lost\\Sub\\"}},
      {"System\\*\\", {"Live\\", "%!Old\\"}},
      {"System\\Live\\**\\", {"Run\\", "%!Run\\" + gone + "\\"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Shown(c.line), c.shown);
  }
}

TEST_F(DeletedWalkTest, RecoveredRecordsCountInTheCap) {
  bool complete = true;
  EXPECT_EQ(
      Shown("System\\**\\*", 3, &complete),
      (Paths{"Live\\Run\\keep", "%!Live\\Run\\" + platform::WideToAnsi(u"Gone \u4e2d") + "\\x",
             "%!Live\\Run\\" + platform::WideToAnsi(u"Gone \u4e2d") + "\\bad%~"}));
  EXPECT_FALSE(complete);
}

}  // namespace
