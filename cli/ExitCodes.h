#pragma once
// The console client's exit codes: Win32 codes (0 success) or the service's RAS error code.
// Named here so that the portable code needs no windows.h; the values are Windows' own.
#include "Protocol.h"

#include <cstdint>

namespace corvel::cli::ExitCode {

constexpr uint32_t Success = 0;
constexpr uint32_t AccessDenied = ResultCode::AccessDenied;
constexpr uint32_t BadFormat = ResultCode::BadFormat;     // a reply with a wrong head or echo
constexpr uint32_t OutOfMemory = ResultCode::OutOfMemory; // no request frame
constexpr uint32_t BadLength = ResultCode::BadLength;     // a reply of the wrong size or lengths
constexpr uint32_t NetworkAccessDenied = 65;              // down, and no RAS error reported
constexpr uint32_t InvalidParameter = ResultCode::InvalidParameter;
constexpr uint32_t BadArguments = 160;
constexpr uint32_t WaitTimeout = 258; // not connected in time
constexpr uint32_t Cancelled = 1223;
constexpr uint32_t RequestAborted = 1235; // the tray program runs
constexpr uint32_t InternalError = ResultCode::InternalError;

} // namespace corvel::cli::ExitCode
