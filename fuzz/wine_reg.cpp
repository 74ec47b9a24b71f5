// A Wine prefix's registry files of any content (system.reg, then user.reg,
// then userdef.reg, split at form-feed lines), its keys opened and values
// queried through the store, by the names the files spell.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "RegistryFiles/wine_prefix_store.h"
#include "fuzz/support/fuzz_support.h"

namespace {

// Keys nest as deep as a header has backslashes; deep nesting overflows the
// stack (a known fault, fixed elsewhere), so deeper headers are not tried.
constexpr std::size_t kMaxHeaderBackslashes = 300;
constexpr std::size_t kMaxNames = 8;
const char* const kFiles[] = {"system.reg", "user.reg", "userdef.reg"};
const std::uint32_t kRoots[] = {0x80000000, 0x80000001, 0x80000002, 0x80000003, 0x80000005};

// `\x` is x: enough to turn a header or value name back into a key name.
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return out;
}

// Key and value names as the files spell them; false for a header too deep.
bool CollectNames(const std::string& text, std::vector<std::string>* keys,
                  std::vector<std::string>* values) {
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
      std::size_t backslashes = 0;
      for (const char c : line) backslashes += c == '\\';
      if (backslashes > kMaxHeaderBackslashes) return false;
      if (keys->size() < kMaxNames) keys->push_back(Unescape(line.substr(1, close - 1)));
    } else if (open == '"' && close != std::string::npos && values->size() < kMaxNames) {
      values->push_back(Unescape(line.substr(1, close - 1)));
    } else if (open == '@' && values->size() < kMaxNames) {
      values->push_back("");
    }
  }
  return true;
}

// Opened key paths, and each value found: its type and data.
using Results = std::map<std::string, std::string>;

Results Query(platform::WinePrefixStore& store, const std::vector<std::string>& keys,
              const std::vector<std::string>& values, bool reverse) {
  Results results;
  for (std::size_t r = 0; r < std::size(kRoots); ++r) {
    const std::uint32_t root = kRoots[reverse ? std::size(kRoots) - 1 - r : r];
    std::string rootPath;
    if (!store.RootPath(root, &rootPath)) continue;
    for (std::size_t k = 0; k <= keys.size(); ++k) {
      const std::size_t ki = reverse ? keys.size() - k : k;
      const std::string subKey = ki == keys.size() ? std::string() : keys[ki];
      const std::string where = std::to_string(root) + "\n" + subKey;
      std::string path;
      if (!store.OpenKey(rootPath, subKey, &path)) {
        results[where] = "(none)";
        continue;
      }
      results[where] = path;
      std::string again;
      FUZZ_CHECK(store.OpenKey(path, "", &again) && again == path,
                 "a key's path opens that key again");
      for (std::size_t v = 0; v < values.size(); ++v) {
        const std::string& name = values[reverse ? values.size() - 1 - v : v];
        platform::StoredValue value;
        if (store.QueryValue(path, name, &value)) {
          results[where + "\n" + name] = std::to_string(value.type) + ":" + value.data;
        }
      }
    }
  }
  return results;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> keys;
  std::vector<std::string> values;
  if (!CollectNames(input, &keys, &values)) return -1;

  std::size_t start = 0;
  for (const char* file : kFiles) {
    if (start > input.size()) {
      RemoveScratchFile(file);
      continue;
    }
    std::size_t end = input.find("\n\f\n", start);
    if (end == std::string::npos) end = input.size();
    WriteScratchFile(file, input.substr(start, end - start + (end < input.size())));
    start = end + 3;
  }

  platform::WinePrefixStore store(ScratchDir());
  // Every file is read before the first pass: a load that changes keys
  // already handed out is a known fault (a link on the root), fixed elsewhere.
  std::string warm;
  store.RootPath(0x80000001, &warm);
  store.OpenKey("\\Registry\\Machine", "x", &warm);
  store.OpenKey("\\Registry\\User", ".Default", &warm);

  const Results first = Query(store, keys, values, false);
  const Results second = Query(store, keys, values, true);
  FUZZ_CHECK(first == second, "a key opened twice gives the same values");
  return 0;
}
