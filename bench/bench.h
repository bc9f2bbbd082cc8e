// Timing helpers: each measurement runs several times and reports median, min and max.
#pragma once

#include <algorithm>
#include <functional>
#include <stdio.h>
#include <string>
#include <vector>
#include <windows.h>

struct Figures
{
    double median;
    double min;
    double max;
};

// Runs `body` `runs` times; each run's time is divided by `per` (e.g. iterations in the run).
inline Figures Measure(int runs, int per, const std::function<void()>& body)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int r = 0; r < runs; ++r)
    {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        body();
        QueryPerformanceCounter(&end);
        times.push_back(1e6 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart) / per);
    }
    std::sort(times.begin(), times.end());
    Figures f = {times[times.size() / 2], times.front(), times.back()};
    return f;
}

// As Measure, with `setup` run before each run and left out of its time.
inline Figures MeasureWithSetup(int runs, int per, const std::function<void()>& setup,
                                const std::function<void()>& body)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int r = 0; r < runs; ++r)
    {
        setup();
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        body();
        QueryPerformanceCounter(&end);
        times.push_back(1e6 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart) / per);
    }
    std::sort(times.begin(), times.end());
    Figures f = {times[times.size() / 2], times.front(), times.back()};
    return f;
}

// Median, min and max of times measured elsewhere.
inline Figures FiguresOf(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    Figures f = {times[times.size() / 2], times.front(), times.back()};
    return f;
}

// A file beside the running program.
inline std::string BesideExe(const char* name)
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    const size_t slash = dir.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : dir.substr(0, slash)) + "\\" + name;
}

inline void PrintRow(const std::string& what, const Figures& f, const char* unit = "us")
{
    printf("  %-48s median %10.1f %s   min %10.1f   max %10.1f\n", what.c_str(), f.median, unit, f.min, f.max);
}

inline void PrintRatio(const std::string& what, const Figures& ours, const Figures& floor)
{
    printf("  %-48s %.2fx the floor\n", what.c_str(), floor.median > 0 ? ours.median / floor.median : 0.0);
}

void BenchDll(int runs);
void BenchExecute(int runs, int messages);
void BenchPicker(int runs);
