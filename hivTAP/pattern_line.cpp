#include "hivTAP/pattern_line.h"

#include <cstdint>

#include "MyRegCtrl/reg_ctrl.h"
#include "Platform/command_line.h"
#include "RunTime/text_stream.h"
#include "hivTAP/console_text.h"
#include "hivTAP/deleted_walk.h"
#include "hivTAP/key_line.h"
#include "hivTAP/walk_plan.h"
#include "hivTAP/wildcard_walk.h"

namespace {

class TTextSink : public TWalkSink {
 public:
  TTextSink(const TRunSettings& settings, std::string head, bool showsPath, TTextStream& console,
            TTextStream& outputFile)
      : settings_(settings),
        head_(std::move(head)),
        showsPath_(showsPath),
        console_(console),
        outputFile_(outputFile) {}

  void Value(const TWalkKey& key, const TFoundValue& value, const std::string& keyShown) override {
    const std::string text = RenderValueText(value.Type, value.Data);
    if (!settings_.ShowValueName) {
      WriteFor(key, text);
    } else if (showsPath_) {
      WriteFor(key, head_ + keyShown + ShownName(value.Name, true) + "=" + text);
    } else {
      WriteFor(key, head_ + text);
    }
  }

  // A listed key's line is its path, with or without /N.
  void Key(const TWalkKey& key, const std::string& shown) override { WriteFor(key, head_ + shown); }

  // A recovered record's line shows its marked path, with or without /N (the
  // label only with it, as on live lines); an unreliable value shows no text.
  void Recovered(const TRecoveredRecord& record, const std::string& shown) override {
    std::string line = (settings_.ShowValueName ? head_ : std::string()) + shown;
    if (!record.IsKey) {
      line += '=';
      if (record.Reliable) line += RenderValueText(record.Value.Type, record.Value.Data);
    }
    Write(settings_.KeyTimes ? KeyTimeField(record.HasTime, record.LastWrite) : std::string(),
          line);
  }

  void Write(const std::string& time, const std::string& line) {
    // As for one value: an empty line only in a list, where every line answers.
    if (!settings_.ListMode && line.empty()) return;
    const std::string full = time + line;
    if (!settings_.Silent) console_.WriteLine(ConvertConsoleText(0, full));
    outputFile_.WriteLine(full);
  }

 private:
  void WriteFor(const TWalkKey& key, const std::string& line) {
    std::string time;
    if (settings_.KeyTimes) {
      platform::RegKeyInfo info;
      const bool known = key.Info(info);
      time = KeyTimeField(known, info.lastWrite);
    }
    Write(time, line);
  }

  const TRunSettings& settings_;
  const std::string head_;
  // A label stands for the name of a value named without wildcards.
  const bool showsPath_;
  TTextStream& console_;
  TTextStream& outputFile_;
};

}  // namespace

void ReportCap(std::size_t cap, TTextStream& console) {
  const std::string count = std::to_string(cap);
  const std::string text = "hivTAP: plus de " + count +
                           " valeurs, liste arr\xEAt\xE9"
                           "e \xE0 " +
                           count;
  console.WriteLine(ConvertConsoleText(0, text));
  platform::WriteErrorLine(text);
}

bool ProcessPatternLine(const std::string& keyLine, const TRunSettings& settings,
                        TTextStream& console, TTextStream& outputFile) {
  std::string label;
  std::string keySpec;
  SplitLabel(keyLine, label, keySpec);
  TWalkPlan plan;
  if (keySpec.empty() || !PlanKeyLine(keySpec, true, plan)) return false;
  const std::string head = label.empty() ? std::string() : label + "= ";
  TTextSink sink(settings, head, plan.HasWildcard || label.empty(), console, outputFile);
  TWalkResult result = WalkKeyLine(plan, settings.PatternCap, sink);
  if (settings.Deleted) WalkDeletedRecords(plan, settings.PatternCap, result, sink);
  if (!result.Complete) ReportCap(settings.PatternCap, console);
  if (result.Count > 0) return true;
  // What a missing value writes, the line's last name standing as its name.
  std::string line;
  if (settings.ShowValueName) {
    const std::string name = plan.ListsKeys ? plan.Keys.back().Text + "\\" : plan.Value.Text;
    line = label.empty() ? name + "=" : head;
  }
  const bool known = !plan.HasWildcard && result.KeyFound;
  sink.Write(settings.KeyTimes ? KeyTimeField(known, result.KeyInfo.lastWrite) : std::string(),
             line);
  return true;
}
