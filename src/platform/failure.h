#pragma once

namespace keelpack::platform {

// Failure numbers returned by procedures that can fail. They are always greater than 2, so
// that they never collide with the small result codes that procedures give for expected
// outcomes (the rewriter's 1 "not a JPEG" and 2 "damaged").
inline constexpr int kFailInvalidCall = 5;  // a value the operation cannot take
inline constexpr int kFailOutOfRange = 9;   // a position or count outside the data
inline constexpr int kFailBadFileName = 52;
inline constexpr int kFailFileNotFound = 53;
inline constexpr int kFailFileExists = 58;
inline constexpr int kFailDiskFull = 61;
inline constexpr int kFailReadPastEnd = 62;
inline constexpr int kFailPermissionDenied = 70;
inline constexpr int kFailPathAccess = 75;
inline constexpr int kFailPathNotFound = 76;
inline constexpr int kFailDeviceIo = 57;

// Maps a system error number (errno) onto a failure number. It never gives one of the numbers
// that stand for a fault in a file's content (kFailInvalidCall, kFailOutOfRange,
// kFailReadPastEnd).
int FailureNumber(int systemError);

}  // namespace keelpack::platform
