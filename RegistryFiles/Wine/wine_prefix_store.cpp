// Reads keys and values out of a Wine prefix the way wineserver's loader
// (server/registry.c) would have put them into its registry tree, without
// building that tree. The files are mapped; one pass over each indexes its
// key headers in a flat table of keys (parent, name, where its sections
// start), and values are decoded from their sections only when asked for.
// A run's first lookups index only the keys along the path asked for.
#include "RegistryFiles/Wine/wine_prefix_store.h"

#include "RegistryFiles/Wine/wine_prefix_impl.h"

namespace platform {

WinePrefixStore::WinePrefixStore(std::string prefixDir)
    : impl_(std::make_unique<Impl>(std::move(prefixDir))) {}
WinePrefixStore::~WinePrefixStore() = default;

bool WinePrefixStore::RootPath(std::uint32_t root, std::string* path) {
  return impl_->RootPath(root, path);
}
bool WinePrefixStore::OpenKey(const std::string& parent, const std::u16string& subKey,
                              std::string* path) {
  return impl_->OpenKey(parent, subKey, path);
}
bool WinePrefixStore::QueryValue(const std::string& path, const std::u16string& name,
                                 StoredValue* value) {
  return impl_->QueryValue(path, name, value);
}

bool WinePrefixStore::KeyNames(const std::string& path, std::vector<std::u16string>* names) {
  return impl_->KeyNames(path, names);
}
bool WinePrefixStore::ValueNames(const std::string& path, std::vector<std::u16string>* names) {
  return impl_->ValueNames(path, names);
}
bool WinePrefixStore::IsLink(const std::string& parent, const std::u16string& name) {
  return impl_->IsLinkChild(parent, name);
}
bool WinePrefixStore::KeyInfo(const std::string& path, RegKeyInfo* info) {
  return impl_->KeyInfo(path, info);
}

}  // namespace platform
