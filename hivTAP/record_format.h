// The records of /F:json and /F:csv: one per value, key, missing value or
// key, and list line that names no key. Names and data come as stored
// (UTF-16 names, data bytes untouched) and leave as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct TRecord {
  enum class TKind : std::uint8_t {
    rkValue,       // key, name, type, size, data, text, time
    rkKey,         // key, time, subkeys, values
    rkMissing,     // a value that is not there: key, name, "missing": true
    rkMissingKey,  // a key listing's key that is not there: key, "missing": true
    rkNoKey,       // a list line that names no key: "line"
  };
  TKind Kind = TKind::rkValue;
  bool HasLabel = false;
  std::u16string Label;
  // The root's short name, then the names, backslash-separated.
  std::u16string Key;
  // The value's name as stored, "" for the default value; for rkMissing the
  // name asked.
  std::u16string Name;
  std::uint32_t Type = 0;
  std::string Data;  // every byte as stored; strings are UTF-16LE
  bool HasTime = false;
  std::uint64_t Time = 0;  // the key's last-write FILETIME
  std::uint32_t SubKeys = 0;
  std::uint32_t Values = 0;
  // Records recovered from a hive's free space; written only when set.
  bool Deleted = false;
  bool Partial = false;
  // A recovered value whose cell was reused since: no size, text or data.
  bool Unreliable = false;
  std::u16string Line;  // rkNoKey: the list line's text
};

// One JSON Lines record: an object on one line, UTF-8, ending with LF.
// A lone surrogate is written as its \uXXXX escape and added to
// *loneSurrogates (when not null).
std::string FormatJsonRecord(const TRecord& record, std::size_t* loneSurrogates);
// The same, appended to `out`: a caller that keeps `out` reuses its memory.
void AppendJsonRecord(const TRecord& record, std::string& out, std::size_t* loneSurrogates);

// Where a record's bytes go when they are written in pieces.
using TRecordWrite = std::function<void(const char* bytes, std::size_t size)>;
// The same, handed to `write` in pieces of at most 64 KiB (more only when
// the names are that long), so that a value of any size takes no more memory.
void WriteJsonRecord(const TRecord& record, const TRecordWrite& write, std::size_t* loneSurrogates);

// One RFC 4180 row in CsvHeader's columns, UTF-8, ending with CR LF. A lone
// surrogate becomes U+FFFD and is added to *loneSurrogates (when not null).
std::string FormatCsvRecord(const TRecord& record, std::size_t* loneSurrogates);
void AppendCsvRecord(const TRecord& record, std::string& out, std::size_t* loneSurrogates);
void WriteCsvRecord(const TRecord& record, const TRecordWrite& write, std::size_t* loneSurrogates);

// The header row, ending with CR LF; the file starts with kUtf8ByteOrderMark
// before it.
std::string CsvHeader();
extern const char kUtf8ByteOrderMark[];
// How many columns every row has.
std::size_t CsvColumnCount();
