#include "RegistryFiles/Hives/hive_recovery.h"

#include <algorithm>
#include <cstdint>

#include "Platform/charset_posix.h"
#include "RegistryFiles/Hives/hive_log.h"

namespace platform {
namespace {

using namespace hivelog;

struct Candidate {
  const HiveLogFile* file;
  LogHeader header;
};

const char* StopReason(LogStop stop) {
  switch (stop) {
    case LogStop::kBadHash:
      return "empreinte fausse";  // hash mismatch
    case LogStop::kGap:
      return "s\xE9quence interrompue";
    case LogStop::kTruncated:
      return "journal tronqu\xE9";
    case LogStop::kBadEntry:
    case LogStop::kEnd:
      break;
  }
  return "entr\xE9"
         "e invalide";
}

// "log applied in part (reason at entry N), values maybe old: LOG"
std::string StoppedLogWarning(const std::string& log_name, const LogReplay& r, bool new_format) {
  std::string where = StopReason(r.stop);
  if (new_format)
    where +=
        " \xE0 l'entr\xE9"
        "e " +
        std::to_string(r.stop_sequence);
  return "hivTAP: journal appliqu\xE9 en partie (" + where +
         "), valeurs peut-\xEAtre anciennes : " + Utf8ToAnsi(log_name);
}

// "dirty hive (logs not applied), values maybe old: FILE", as the hive reader
// words its other warnings.
std::string NoLogWarning(const std::string& primary_name) {
  return "hivTAP: ruche sale (journaux non appliqu\xE9s), valeurs peut-\xEAtre anciennes : " +
         Utf8ToAnsi(primary_name);
}

std::string BaseName(const std::string& path) {
  return Utf8ToAnsi(path.substr(path.find_last_of('/') + 1));
}

// "LOG (séquences A à B)": what one new-format log brought.
std::string AppliedEntries(const std::string& log_name, std::uint32_t first, std::uint32_t last) {
  return BaseName(log_name) + " (s\xE9quences " + std::to_string(first) + " \xE0 " +
         std::to_string(last) + ")";
}

// The log's copy of the base block replaces an invalid one in the primary.
void TakeBaseBlock(std::string_view log, std::string* base) {
  base->replace(0, kLogSectorSize, log.data(), kLogSectorSize);
}

void WriteCleanBaseBlock(std::uint32_t sequence, std::string* base, HiveImage* image) {
  char* b = &(*base)[0];
  PutLe32(b + 4, sequence);
  PutLe32(b + 8, sequence);
  PutLe32(b + 28, 0);  // primary file
  PutLe32(b + 508, BaseBlockChecksum(b));
  image->Write(0, b, kBaseBlockSize);
}

}  // namespace

using hivelog::BaseBlockValid;
using hivelog::Le32;

bool HiveIsDirty(std::string_view header) {
  return !BaseBlockValid(header) || Le32(header.data() + 4) != Le32(header.data() + 8);
}

HiveRecovery RecoverHive(const std::string& primary_name, const std::vector<HiveLogFile>& logs,
                         std::string* image) {
  StringImage view(image);
  return RecoverHive(primary_name, logs, &view);
}

HiveRecovery RecoverHive(const std::string& primary_name, const std::vector<HiveLogFile>& logs,
                         HiveImage* image) {
  HiveRecovery result;
  std::string base = image->Read(0, kBaseBlockSize);
  result.dirty = HiveIsDirty(base);
  if (!result.dirty) return result;

  const bool primary_valid = BaseBlockValid(base);
  base.resize(kBaseBlockSize, '\0');
  std::size_t max_image = std::max(image->size(), kBaseBlockSize);
  std::vector<Candidate> fresh, old;
  std::string applied;  // the logs that brought something, for --version
  // "aucun journal", "aucun journal valide"
  const char* none = logs.empty() ? "aucun journal" : "aucun journal valide";
  for (const HiveLogFile& log : logs) {
    max_image += log.bytes.size();
    const LogHeader h = ReadLogHeader(log.bytes);
    if (h.valid) (h.new_format ? fresh : old).push_back({&log, h});
  }

  std::string pending;  // the first stop that no later log made good
  bool changed = false;
  std::uint32_t sequence = 0;
  if (!fresh.empty()) {
    // The earlier entries first. With a valid primary, the entries it already
    // holds are skipped; with an invalid one, only the latest log is used.
    std::stable_sort(fresh.begin(), fresh.end(), [](const Candidate& a, const Candidate& b) {
      return a.header.sequence < b.header.sequence;
    });
    if (primary_valid) {
      const std::uint32_t secondary = Le32(base.data() + 8);
      fresh.erase(std::remove_if(fresh.begin(), fresh.end(),
                                 [&](const Candidate& c) { return c.header.sequence < secondary; }),
                  fresh.end());
      // "journaux plus anciens que la ruche"
      if (fresh.empty()) none = "journaux plus anciens que la ruche";
    } else {
      fresh.erase(fresh.begin(), fresh.end() - 1);
      TakeBaseBlock(fresh.back().file->bytes, &base);
      sequence = fresh.back().header.sequence;
      changed = true;
    }
    bool any = false;
    for (const Candidate& c : fresh) {
      const std::uint32_t first = any ? sequence + 1 : c.header.sequence;
      const LogReplay r = ReplayNewLog(c.file->bytes, first, max_image, &base, image);
      if (r.applied > 0) {
        any = changed = true;
        sequence = r.last_sequence;
        applied += (applied.empty() ? "" : ", ") + AppliedEntries(c.file->name, first, sequence);
        pending.clear();  // this log took over where the previous one stopped
      }
      if (r.stop != LogStop::kEnd && pending.empty())
        pending = StoppedLogWarning(c.file->name, r, true);
    }
    // "aucune entrée applicable"
    if (!any && !fresh.empty())
      none =
          "aucune entr\xE9"
          "e applicable";
  } else {
    // Old format: a log written for this very primary, known by its timestamp
    // (that of the first hive bin when the base block is invalid).
    const std::string stamp =
        primary_valid ? base.substr(12, 8) : image->Read(kBaseBlockSize + 20, 8);
    for (const Candidate& c : old) {
      if (stamp.size() != 8 || c.file->bytes.compare(12, 8, stamp) != 0) continue;
      if (!primary_valid) TakeBaseBlock(c.file->bytes, &base);
      const LogReplay r = ReplayOldLog(c.file->bytes, c.header, max_image, &base, image);
      if (r.stop != LogStop::kEnd) pending = StoppedLogWarning(c.file->name, r, false);
      changed = true;
      sequence = Le32(base.data() + 4);
      // "LOG (N pages)"
      applied = BaseName(c.file->name) + " (" + std::to_string(r.applied) + " pages)";
      break;
    }
    // "aucun journal écrit pour cette ruche"
    if (!old.empty() && !changed)
      none =
          "aucun journal \xE9"
          "crit pour cette ruche";
  }
  // "journaux appliqués : ..., séquence N atteinte", "aucun journal appliqué (...)"
  result.replay = !applied.empty() ? "journaux appliqu\xE9s : " + applied + ", s\xE9quence " +
                                         std::to_string(sequence) + " atteinte"
                  : changed ? "base du journal reprise, s\xE9quence " + std::to_string(sequence)
                            : std::string("aucun journal appliqu\xE9 (") + none + ")";

  if (changed) WriteCleanBaseBlock(sequence, &base, image);
  result.changed = changed;
  if (!pending.empty()) {
    result.warnings.push_back(pending);
  } else if (!changed) {
    result.warnings.push_back(NoLogWarning(primary_name));
  }
  return result;
}

}  // namespace platform
