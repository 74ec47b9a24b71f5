#include "hivTAP/export_line.h"

#include <cstddef>
#include <string>
#include <vector>

#include "Platform/codepage.h"
#include "Platform/command_line.h"
#include "RunTime/text_stream.h"
#include "hivTAP/console_text.h"
#include "hivTAP/deleted_walk.h"
#include "hivTAP/key_line.h"
#include "hivTAP/pattern_line.h"
#include "hivTAP/record_format.h"
#include "hivTAP/walk_plan.h"
#include "hivTAP/wildcard_walk.h"

namespace {

class TRecordSink : public TWalkSink {
 public:
  TRecordSink(const TRunSettings& settings, const std::string& label, TTextStream& outputFile)
      : csv_(settings.Export == TExportFormat::efCsv), outputFile_(outputFile) {
    record_.HasLabel = !label.empty();
    record_.Label = platform::AnsiToWide(label);
  }

  void Value(const TWalkKey& key, const TFoundValue& value, const std::string&) override {
    Start(TRecord::TKind::rkValue, key.Path());
    record_.Name = value.Name;
    record_.Type = value.Type;
    record_.Data = value.Data;
    SetTime(key);
    Write();
  }

  void Key(const TWalkKey& key, const std::string&) override {
    Start(TRecord::TKind::rkKey, key.Path());
    platform::RegKeyInfo info;
    if (key.Info(info)) {
      record_.HasTime = true;
      record_.Time = info.lastWrite;
      record_.SubKeys = info.subKeys;
      record_.Values = info.values;
    }
    Write();
  }

  bool EntersKeys() const override { return true; }

  void Recovered(const TRecoveredRecord& recovered, const std::string&) override {
    Start(recovered.IsKey ? TRecord::TKind::rkKey : TRecord::TKind::rkValue, recovered.Path);
    record_.Deleted = true;
    record_.Partial = recovered.Partial;
    record_.HasTime = recovered.HasTime;
    record_.Time = recovered.LastWrite;
    if (recovered.IsKey) {
      record_.SubKeys = recovered.SubKeys;
      record_.Values = recovered.Values;
    } else {
      record_.Name = recovered.Value.Name;
      record_.Type = recovered.Value.Type;
      record_.Data = recovered.Value.Data;
      record_.Unreliable = !recovered.Reliable;
    }
    Write();
  }

  // `result`: the walk that found nothing, which tells the key's time when
  // a line without wildcards names a key that is there.
  void Missing(TRecord::TKind kind, const std::u16string& key, const std::u16string& name,
               const TWalkResult& result) {
    Start(kind, key);
    record_.Name = name;
    record_.HasTime = kind == TRecord::TKind::rkMissing && result.KeyFound;
    record_.Time = result.KeyInfo.lastWrite;
    Write();
  }

  void NoKey(const std::string& line) {
    Start(TRecord::TKind::rkNoKey, std::u16string());
    record_.Line = platform::AnsiToWide(line);
    Write();
  }

  std::size_t loneSurrogates() const { return loneSurrogates_; }

 private:
  void Start(TRecord::TKind kind, const std::u16string& key) {
    record_.Kind = kind;
    record_.Key = key;
    record_.Name.clear();
    record_.Type = 0;
    record_.Data.clear();
    record_.HasTime = false;
    record_.SubKeys = record_.Values = 0;
    record_.Deleted = record_.Partial = record_.Unreliable = false;
  }

  void SetTime(const TWalkKey& key) {
    platform::RegKeyInfo info;
    record_.HasTime = key.Info(info);
    record_.Time = info.lastWrite;
  }

  void Write() {
    if (csv_) {
      AppendCsvRecord(record_, chunk_, &loneSurrogates_);
    } else {
      AppendJsonRecord(record_, chunk_, &loneSurrogates_);
    }
    ends_.push_back(chunk_.size());
    if (chunk_.size() >= kChunkBytes) Flush();
  }

 public:
  // Writes the records held: a walk's many records go in few writes.
  void Flush() {
    outputFile_.WriteRecords(chunk_, ends_);
    chunk_.clear();
    ends_.clear();
  }

 private:
  static constexpr std::size_t kChunkBytes = 64 * 1024;

  const bool csv_;
  TTextStream& outputFile_;
  TRecord record_;
  std::string chunk_;
  std::vector<std::size_t> ends_;
  std::size_t loneSurrogates_ = 0;
};

// A segment's name as the line gives it: decoded, or the pattern's text.
std::u16string SpelledName(const TNamePattern& segment) {
  return segment.HasWildcard ? platform::AnsiToWide(segment.Text) : LiteralName(segment);
}

// The key path as the line spells it, for the record of what is missing.
std::u16string SpelledPath(const TWalkPlan& plan, std::size_t keys) {
  std::u16string path = platform::AnsiToWide(plan.RootName);
  for (std::size_t i = 0; i < keys; ++i) {
    path += u'\\';
    path += SpelledName(plan.Keys[i]);
  }
  return path;
}

// "hivTAP: N demi-caractères UTF-16 isolés ..." once per key line.
void ReportLoneSurrogates(std::size_t count, bool csv, TTextStream& console) {
  const std::string text = "hivTAP: " + std::to_string(count) +
                           " demi-caract\xE8re(s) UTF-16 isol\xE9(s) \xE9"
                           "crit(s) " +
                           (csv ? "U+FFFD" : "en \\uXXXX");
  console.WriteLine(ConvertConsoleText(0, text));
  platform::WriteErrorLine(text);
}

}  // namespace

void StartExportFile(const TRunSettings& settings, TTextStream& outputFile) {
  if (settings.Export != TExportFormat::efCsv) return;
  if (outputFile.OpenedEmpty()) {
    outputFile.WriteRecord(std::string(kUtf8ByteOrderMark) + CsvHeader());
  } else if (!outputFile.IsDiskFile()) {
    // A pipe's reader wants the columns too; the mark is for spreadsheets.
    outputFile.WriteRecord(CsvHeader());
  }
}

void ExportNoKeyLine(const std::string& line, const TRunSettings& settings,
                     TTextStream& outputFile) {
  TRecordSink sink(settings, std::string(), outputFile);
  sink.NoKey(line);
  sink.Flush();
}

void ProcessExportLine(const std::string& keyLine, const TRunSettings& settings,
                       TTextStream& console, TTextStream& outputFile) {
  std::string label;
  std::string keySpec;
  SplitLabel(keyLine, label, keySpec);
  TRecordSink sink(settings, label, outputFile);
  TWalkPlan plan;
  if (keySpec.empty() || !PlanKeyLine(keySpec, settings.Wildcards, plan)) {
    sink.NoKey(keyLine);
  } else {
    TWalkResult result = WalkKeyLine(plan, settings.PatternCap, sink);
    if (settings.Deleted) WalkDeletedRecords(plan, settings.PatternCap, result, sink);
    if (!result.Complete) ReportCap(settings.PatternCap, console);
    if (result.Count == 0 && plan.ListsKeys) {
      sink.Missing(TRecord::TKind::rkMissingKey, SpelledPath(plan, plan.Keys.size()),
                   std::u16string(), result);
    } else if (result.Count == 0) {
      sink.Missing(TRecord::TKind::rkMissing, SpelledPath(plan, plan.Keys.size()),
                   SpelledName(plan.Value), result);
    }
  }
  sink.Flush();
  if (sink.loneSurrogates() > 0) {
    ReportLoneSurrogates(sink.loneSurrogates(), settings.Export == TExportFormat::efCsv, console);
  }
}
