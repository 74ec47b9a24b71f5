// A Wine prefix's registry files of any content (system.reg, then user.reg,
// then userdef.reg, split at form-feed lines), its keys opened and values
// queried through the store, by the names the files spell.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "RegistryFiles/Wine/wine_prefix_store.h"
#include "fuzz/support/fuzz_support.h"
#include "tests/ansi_store.h"

namespace {

// Names tried per file: each costs a walk from the root per query.
constexpr std::size_t kMaxNames = 6;

// Each file, the root its keys are under, and the path of its keys there.
struct File {
  const char* name;
  std::uint32_t root;
  const char* base;
};
const File kFiles[] = {
    {"system.reg", 0x80000002, ""},
    {"user.reg", 0x80000001, ""},
    {"userdef.reg", 0x80000003, ".Default\\"},
};

// `\x` is x: enough to turn a header or value name back into a key name.
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

struct Names {
  std::vector<std::string> keys{""};  // the root itself, then the headers
  std::vector<std::string> values;
};

// Key and value names as a file spells them.
void CollectNames(const std::string& text, const File& file, Names* names) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    line.erase(0, first);
    const char open = line[0];
    const std::size_t close = line.find(open == '[' ? ']' : '"', 1);
    if (open == '[') {
      if (names->keys.size() <= kMaxNames)
        names->keys.push_back(file.base + Unescape(line.substr(1, close - 1)));
    } else if (open == '"' && close != std::string::npos && names->values.size() < kMaxNames) {
      names->values.push_back(Unescape(line.substr(1, close - 1)));
    } else if (open == '@' && names->values.size() < kMaxNames) {
      names->values.push_back("");
    }
  }
}

// Opened key paths, and each value found: its type and data.
using Results = std::map<std::string, std::string>;

void Query(platform::WinePrefixStore& store, std::uint32_t root, const Names& names, bool reverse,
           Results* results) {
  std::string rootPath;
  if (!store.RootPath(root, &rootPath)) return;
  const std::size_t keyCount = names.keys.size();
  const std::size_t valueCount = names.values.size();
  for (std::size_t k = 0; k < keyCount; ++k) {
    const std::string& subKey = names.keys[reverse ? keyCount - 1 - k : k];
    const std::string where = std::to_string(root) + "\n" + subKey;
    std::string path;
    if (!ansi_store::OpenKey(store, rootPath, subKey, &path)) {
      (*results)[where] = "(none)";
      continue;
    }
    (*results)[where] = path;
    std::string again;
    FUZZ_CHECK(ansi_store::OpenKey(store, path, "", &again) && again == path,
               "a key's path opens that key again");
    for (std::size_t v = 0; v < valueCount; ++v) {
      const std::string& name = names.values[reverse ? valueCount - 1 - v : v];
      platform::StoredValue value;
      if (ansi_store::QueryValue(store, path, name, &value)) {
        (*results)[where + "\n" + name] = std::to_string(value.type) + ":" + value.data;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Names names[std::size(kFiles)];
  std::size_t start = 0;
  for (std::size_t f = 0; f < std::size(kFiles); ++f) {
    if (start > input.size()) {
      RemoveScratchFile(kFiles[f].name);
      continue;
    }
    std::size_t end = input.find("\n\f\n", start);
    if (end == std::string::npos) end = input.size();
    const std::string text = input.substr(start, end - start + (end < input.size()));
    CollectNames(text, kFiles[f], &names[f]);
    WriteScratchFile(kFiles[f].name, text);
    start = end + 3;
  }

  // No file is read before the first pass: whatever order the store loads
  // them in, a key handed out early must open the same later.
  platform::WinePrefixStore store(ScratchDir());

  Results first;
  Results second;
  for (std::size_t f = 0; f < std::size(kFiles); ++f) {
    Query(store, kFiles[f].root, names[f], false, &first);
  }
  // The roots that only link into the files.
  const Names rootOnly;
  for (const std::uint32_t root : {0x80000000u, 0x80000005u}) {
    Query(store, root, rootOnly, false, &first);
  }
  for (std::size_t f = std::size(kFiles); f-- > 0;) {
    Query(store, kFiles[f].root, names[f], true, &second);
  }
  for (const std::uint32_t root : {0x80000005u, 0x80000000u}) {
    Query(store, root, rootOnly, true, &second);
  }
  FUZZ_CHECK(first == second, "a key opened twice gives the same values");

  // Each key again as the first lookup of a fresh store, which scans only
  // header lines before it builds the whole index: the same answers.
  Results fresh;
  for (std::size_t f = 0; f < std::size(kFiles); ++f) {
    for (const std::string& key : names[f].keys) {
      Names one;
      one.keys = {key};
      one.values = names[f].values;
      platform::WinePrefixStore lazy(ScratchDir());
      Query(lazy, kFiles[f].root, one, false, &fresh);
    }
  }
  for (const std::uint32_t root : {0x80000000u, 0x80000005u}) {
    platform::WinePrefixStore lazy(ScratchDir());
    Query(lazy, root, rootOnly, false, &fresh);
  }
  FUZZ_CHECK(fresh == first, "a fresh store's first lookups give what the index gives");
  return 0;
}
