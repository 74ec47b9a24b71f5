// The message for a source that holds no registry is told from what the run
// read, even when the file changes before the message is made: a run once
// ended with an empty message when an image it could not open was rewritten
// in between.
#include "RegistryFiles/registry_source.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Platform/charset_posix.h"
#include "tests/temp_dir.h"

namespace platform {
namespace {

struct RewriteCase {
  const char* name;     // the file HIVTAP_REGISTRY names
  std::string before;   // its bytes when the store is made
  std::string after;    // its bytes when the message is asked for
  const char* message;  // the message, before the file's name
};

class RegistryVariable {
 public:
  explicit RegistryVariable(const std::string& value) {
    const char* old = std::getenv("HIVTAP_REGISTRY");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("HIVTAP_REGISTRY", value.c_str(), 1);
  }
  ~RegistryVariable() {
    if (had_) {
      setenv("HIVTAP_REGISTRY", old_.c_str(), 1);
    } else {
      unsetenv("HIVTAP_REGISTRY");
    }
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST(RegistrySourceTest, ProblemIsToldFromWhatWasRead) {
  const std::string hive = "regf" + std::string(4092, '\0');
  const RewriteCase cases[] = {
      // Too short for a disk, then a hive: the image's own message.
      {"disque \xC3\xA9t\xC3\xA9 \xE2\x82\xAC.img", std::string(100, 'x'), hive,
       "hivTAP: ce fichier n'est pas une image disque lisible : "},
      // A hive of no known name, then no hive: never an empty message.
      {"ruche \xE2\x82\xAC.dat", hive, std::string(100, 'x'),
       "hivTAP: fichier modifi\xE9 pendant la lecture : "},
  };
  for (const RewriteCase& c : cases) {
    TempDir dir;
    dir.Write(c.name, c.before);
    RegistryVariable variable(dir.Path(c.name));
    EXPECT_EQ(CreateDefaultRegistryStore(), nullptr) << c.name;
    dir.Write(c.name, c.after);
    EXPECT_EQ(DefaultRegistryProblem(), c.message + Utf8ToAnsi(dir.Path(c.name))) << c.name;
  }
}

}  // namespace
}  // namespace platform
