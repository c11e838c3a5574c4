#pragma once

#include <string>
#include <vector>

#include "jpeg/rewrite_jpeg.h"
#include "platform/file.h"

namespace keelpack {

class LogSink;
struct OptionSet;

// The rewrite a file job asks for under `options`: APP12, APP13, APP1, COM and APP14 go, and
// APP2 unless colour profiles are all kept; the Exif choice, the scan, the re-encoding and the
// turn upright as the options say.
RewriteOptions RewriteOptionsFor(const OptionSet& options);

// The rewrite between two open files, so that it reaches exactly the files the caller opened
// and checked: reads `input` (only ever read, from its start, whatever its position) as the
// rewrite needs it, writes the new file into `output` (a new empty file open for writing, which
// is left open) and gives it the input's last-write time and permissions. `status` gets the
// input's size, time and permissions as they were when it was read. `nameForLog` names the
// input in the log.
//
// What is held in memory stays near one file's size: the input is read whole into memory (never
// mapped: another program that cuts the file short can only fail the read), or, with the quick
// scan and a file that ends with an EOI, only up to its first scan's data, which then goes
// from file to file inside the kernel (not when the picture data may be coded afresh or
// turned upright).
RewriteOutcome RewriteFile(const RewriteOptions& options, const platform::File& input,
                           platform::File& output, const std::string& nameForLog, LogSink& log,
                           platform::File::Status& status);

// The same rewrite for a dry run: reads `input` as RewriteFile does and logs the same lines, but
// writes nothing; the new file's bytes are only counted, or kept in `bytes` when it is given.
RewriteOutcome JudgeFile(const RewriteOptions& options, const platform::File& input,
                         const std::string& nameForLog, LogSink& log,
                         platform::File::Status& status, std::vector<uint8_t>* bytes);

}  // namespace keelpack
