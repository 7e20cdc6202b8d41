// Small shared pieces of the benchmark programs: a clock, a scratch data
// folder, and the median of repeated runs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

inline double NowSeconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

template <typename Body>
double MedianSeconds(int runs, Body&& body) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    double start = NowSeconds();
    body();
    times.push_back(NowSeconds() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Runs the bodies in turn, round after round, so that a slow spell of the
// machine falls on all of them alike; the median seconds of each body.
inline std::vector<double> InterleavedMedians(int rounds,
                                              const std::vector<std::function<void()>>& bodies) {
  std::vector<std::vector<double>> times(bodies.size());
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < bodies.size(); ++i) {
      double start = NowSeconds();
      bodies[i]();
      times[i].push_back(NowSeconds() - start);
    }
  }
  std::vector<double> medians;
  for (std::vector<double>& t : times) {
    std::sort(t.begin(), t.end());
    medians.push_back(t[t.size() / 2]);
  }
  return medians;
}

// A fresh data folder under the temp path, made CRT_DATA_DIR for this process.
inline std::wstring MakeBenchDataFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  SetEnvironmentVariableW(L"CRT_DATA_DIR", folder.c_str());
  return folder;
}
