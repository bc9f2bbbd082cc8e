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

// Runs `ours` and `floor` in turns, `runs` times each; each run's time divided by `per`.
inline void MeasureInTurns(int runs, int per, const std::function<void()>& ours,
                           const std::function<void()>& floor, std::vector<double>* ourTimes,
                           std::vector<double>* floorTimes)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int r = 0; r < runs; ++r)
    {
        LARGE_INTEGER start, middle, end;
        QueryPerformanceCounter(&start);
        ours();
        QueryPerformanceCounter(&middle);
        floor();
        QueryPerformanceCounter(&end);
        ourTimes->push_back(1e6 * double(middle.QuadPart - start.QuadPart) / double(frequency.QuadPart) / per);
        floorTimes->push_back(1e6 * double(end.QuadPart - middle.QuadPart) / double(frequency.QuadPart) / per);
    }
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

// Runs measured in turns: the median of each run's own ratio, so a slow moment of the machine
// that hits one turn of both does not tilt the figure.
inline void PrintPairedRatio(const std::string& what, const std::vector<double>& ours,
                             const std::vector<double>& floor)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size() && i < floor.size(); ++i)
    {
        ratios.push_back(floor[i] > 0 ? ours[i] / floor[i] : 0.0);
    }
    if (!ratios.empty())
    {
        const Figures f = FiguresOf(ratios);
        printf("  %-48s %.2fx the floor (runs: %.2fx to %.2fx)\n", what.c_str(), f.median, f.min, f.max);
    }
}


void BenchDll(int runs);
void BenchExecute(int runs, int messages);
void BenchPicker(int runs);
