// Listing the open key's subkeys and values.
#include "MyRegistry/registry.h"

bool TRegistry::GetKeyNames(std::vector<std::string>& names) {
  names.clear();
  return openKeyHandle_ != 0 &&
         platform::ListRegSubKeys(openKeyHandle_, &names) == platform::kRegSuccess;
}

bool TRegistry::GetValueNames(std::vector<std::string>& names) {
  names.clear();
  return openKeyHandle_ != 0 &&
         platform::ListRegValues(openKeyHandle_, &names) == platform::kRegSuccess;
}

bool TRegistry::IsLinkKey(const std::string& name) {
  return openKeyHandle_ != 0 && platform::IsRegLink(openKeyHandle_, name);
}
