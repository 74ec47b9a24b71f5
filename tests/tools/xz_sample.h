// Files Windows wrote, kept xz-packed in the samples folder and unpacked in
// memory by the tests that read them.
#pragma once

#include <string>

namespace hivefix {

// The bytes `packed` (a whole .xz stream) holds; throws on bad data.
std::string UnpackXz(const std::string& packed);

// The sample `name` (a path under the samples folder, without ".xz"),
// unpacked. A missing sample throws: the test that reads it fails.
std::string SampleFile(const std::string& name);

}  // namespace hivefix
