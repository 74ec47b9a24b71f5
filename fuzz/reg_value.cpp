// ReadValueAsText over a value of any type code, size and data, read back by
// its own name and path and by fuzzed ones.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "MyRegCtrl/reg_ctrl.h"
#include "fuzz/support/fuzz_support.h"
#include "tests/memory_store.h"

namespace {

// The default text. A string value may read the same, so only the checks of
// the other types rely on it.
const std::string kUnread("\x01unread", 7);

std::string Read(std::uint32_t root, const std::string& path, const std::string& name) {
  try {
    return ReadValueAsText(root, path, name, kUnread);
  } catch (...) {
    FuzzViolation("ReadValueAsText returned", "ReadValueAsText never raises", __FILE__, __LINE__);
  }
}

bool IsHex(const std::string& text) {
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) ||
        std::islower(static_cast<unsigned char>(c)))
      return false;
  }
  return text.size() % 2 == 0;
}

bool IsDecimal(const std::string& text) {
  std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
  if (i == text.size() || (text[i] == '0' && text.size() > i + 1)) return false;
  for (; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint32_t root = 0x80000000 + input.Byte() % 8;  // 0x80000007 opens nothing
  const std::uint32_t type = input.Word();
  const std::string name = input.ShortString(40);
  const std::string path = input.ShortString(80);
  const std::string value = input.Rest();

  MemoryStore& store = InstallMemoryStore();
  const std::string key = "Software\\Fuzz";
  // An ANSI call sees a name up to its first NUL: the value is stored under
  // that, as RegSetValueExA would store it.
  store.Set(MemoryRootPath(0x80000001) + "\\" + key, name.substr(0, name.find('\0')), type, value);

  const std::string text = Read(0x80000001, key, name);
  FUZZ_CHECK(Read(0x80000001, key, name) == text, "a key opened twice gives the same value");
  switch (type) {
    case 3:  // REG_BINARY: at most 254 bytes are shown
      FUZZ_CHECK(text == kUnread || (IsHex(text) && text.size() <= 508),
                 "a binary value is at most 508 hex digits");
      FUZZ_CHECK(value.size() > 254 ? text == kUnread : text == Hex(value),
                 "binary values up to 254 bytes are shown whole");
      break;
    case 4:   // REG_DWORD
    case 11:  // REG_QWORD
      FUZZ_CHECK(text == kUnread || IsDecimal(text), "a number is shown in decimal");
      FUZZ_CHECK((text != kUnread) == (value.size() <= (type == 4 ? 4u : 8u)),
                 "a number that fits is shown");
      break;
    case 1:  // REG_SZ, REG_EXPAND_SZ: up to the first NUL
    case 2:
      FUZZ_CHECK(value.compare(0, text.size(), text) == 0 && text.find('\0') == std::string::npos,
                 "a string is its data up to the first NUL");
      break;
    default:
      break;
  }

  // Any root, path and name: nothing raises, and reading is repeatable.
  const std::string other = Read(root, path, name);
  FUZZ_CHECK(Read(root, path, name) == other, "a key opened twice gives the same value");
  return 0;
}
