// The suite's utility library. Every operation is exported by ordinal only
// (see crt.def); callers import them by ordinal through the import library.
// Output texts always fit their capacity, terminator included: a longer
// source is cut, never written past the buffer.
#pragma once

#include <windows.h>

#define CRTAPI __cdecl

// crt.dll exports through crt.def, so only the importers need a decoration.
#ifdef BUILDING_CRT
#define CRT_DECL
#else
#define CRT_DECL __declspec(dllimport)
#endif

extern "C" {

// [General]-style settings in "settings.ini" of the data folder. Store 1 is
// the section [General]; other stores are not defined and fail.
// Nonzero when the key exists; its text is then in `buffer` (size in bytes).
CRT_DECL BOOL CRTAPI GetConfigString(LPCWSTR key, LPWSTR buffer, DWORD bufferBytes, int store);
CRT_DECL BOOL CRTAPI SetConfigString(LPCWSTR key, LPCWSTR value, int store);

// The data folder ("CRT_DATA_DIR", else %APPDATA%\PlayerSuite, created when
// missing) joined with `fileName`. Only folder kind 4 is defined.
CRT_DECL BOOL CRTAPI GetDataFilePath(LPCWSTR fileName, LPWSTR buffer, DWORD capacity,
                                     int folderKind, int reserved1, int reserved2);

// [section] key as an integer, or `defaultValue` when absent.
CRT_DECL int CRTAPI GetConfigInt(LPCWSTR section, LPCWSTR key, int defaultValue, int store);

// [General] ProductVersion, else crt.dll's own file version "a.b.c.d".
CRT_DECL BOOL CRTAPI GetProductVersion(LPWSTR buffer, DWORD capacity, int flags);

// The file version of `path` as "a.b.c.d"; empty (and FALSE) without one.
CRT_DECL BOOL CRTAPI GetFileVersionText(LPCWSTR path, LPWSTR buffer, DWORD capacity);

// [Client] Uuid, created on first use as a braced GUID and kept.
CRT_DECL BOOL CRTAPI GetClientUuid(LPWSTR buffer, DWORD capacity);

// [DateMarks] name holds today's local date ("%d.%02d.%02d").
CRT_DECL BOOL CRTAPI IsDateMarkCurrent(LPCWSTR markName);
CRT_DECL BOOL CRTAPI SetDateMark(LPCWSTR markName);

inline constexpr DWORD kOpenCreateFolder = 1;
// CreateFileW; with kOpenCreateFolder the file's folder is created first when
// the disposition can create the file. INVALID_HANDLE_VALUE on failure.
CRT_DECL HANDLE CRTAPI OpenFileHandle(LPCWSTR path, DWORD access, DWORD share,
                                      LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                      DWORD flagsAndAttributes, HANDLE templateFile,
                                      DWORD crtFlags);

// "...\LogError.xml" becomes "...\LogError_"; any other path is left alone.
// Never makes the text longer.
CRT_DECL void CRTAPI PrepareReportPath(LPWSTR path);

// The size from the file's attributes; `size` is untouched on failure.
CRT_DECL BOOL CRTAPI GetFileSize64(LPCWSTR path, LONGLONG* size);
}
