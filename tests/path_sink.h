// A walk sink that keeps the /N path of every line a walk gives, live and
// recovered, for tests of which keys and values a key line matches.
#pragma once

#include <string>
#include <vector>

#include "hivTAP/wildcard_walk.h"

class TPathSink : public TWalkSink {
 public:
  void Value(const TWalkKey&, const TFoundValue& value, const std::string& shown) override {
    paths.push_back(shown + ShownName(value.Name, true));
  }
  void Key(const TWalkKey&, const std::string& shown) override { paths.push_back(shown); }
  void Recovered(const TRecoveredRecord&, const std::string& shown) override {
    paths.push_back(shown);
  }
  std::vector<std::string> paths;
};
