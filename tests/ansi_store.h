// What the A calls make of a store's answers, for tests written in
// Windows-1252: names widened on the way in, listed names and string data
// narrowed on the way out, each UTF-16 unit to one byte.
#pragma once

#include <string>
#include <vector>

#include "Platform/charset_posix.h"
#include "Platform/registry_store.h"

namespace ansi_store {

inline bool OpenKey(platform::RegistryStore& store, const std::string& parent,
                    const std::string& sub, std::string* path) {
  return store.OpenKey(parent, platform::WidenAnsi(sub), path);
}

inline bool QueryValue(platform::RegistryStore& store, const std::string& path,
                       const std::string& name, platform::StoredValue* value) {
  if (!store.QueryValue(path, platform::WidenAnsi(name), value)) return false;
  if (platform::IsStringType(value->type)) {
    const std::u16string units = platform::UnitsOf(value->data);
    value->data = platform::NarrowToAnsi(units.data(), units.size());
  }
  return true;
}

inline std::vector<std::string> Narrowed(const std::vector<std::u16string>& names) {
  std::vector<std::string> out;
  for (const auto& name : names) out.push_back(platform::NarrowToAnsi(name.data(), name.size()));
  return out;
}

inline bool KeyNames(platform::RegistryStore& store, const std::string& path,
                     std::vector<std::string>* names) {
  std::vector<std::u16string> wide;
  const bool found = store.KeyNames(path, &wide);
  *names = Narrowed(wide);
  return found;
}

inline bool ValueNames(platform::RegistryStore& store, const std::string& path,
                       std::vector<std::string>* names) {
  std::vector<std::u16string> wide;
  const bool found = store.ValueNames(path, &wide);
  *names = Narrowed(wide);
  return found;
}

inline bool IsLink(platform::RegistryStore& store, const std::string& parent,
                   const std::string& name) {
  return store.IsLink(parent, platform::WidenAnsi(name));
}

}  // namespace ansi_store
