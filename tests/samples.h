// Files Windows wrote, kept xz-packed in the samples folder (its README
// says what each holds).
#pragma once

#include <string>

// The sample `name` (its path in the samples folder, without ".xz"),
// unpacked. A missing sample throws: the test that reads it fails.
std::string UnpackSample(const std::string& name);
