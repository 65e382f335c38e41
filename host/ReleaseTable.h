// The eighteen AutoCAD releases the plug-in serves, 2007 to 2024.
#pragma once

#include <array>

namespace tx {

constexpr int kReleaseCount = 18;
constexpr int kFirstReleaseYear = 2007;
constexpr int kLastReleaseYear = kFirstReleaseYear + kReleaseCount - 1;

struct Release {
    int year;
    const char* yearText;  // what detection looks for in a product name
    bool in32BitTree;      // also searched under SOFTWARE\Wow6432Node
    int moduleYear;        // year in the name of the module that serves it
};

// Indexed by ReleaseIndex (year - 2007).
constexpr std::array<Release, kReleaseCount> kReleases{{
    {2007, "2007", true, 2008},  {2008, "2008", true, 2008},  {2009, "2009", true, 2008},
    {2010, "2010", false, 2010}, {2011, "2011", false, 2010}, {2012, "2012", false, 2010},
    {2013, "2013", false, 2013}, {2014, "2014", false, 2013}, {2015, "2015", false, 2015},
    {2016, "2016", false, 2015}, {2017, "2017", false, 2017}, {2018, "2018", false, 2018},
    {2019, "2019", false, 2019}, {2020, "2020", false, 2019}, {2021, "2021", false, 2021},
    {2022, "2022", false, 2021}, {2023, "2023", false, 2021}, {2024, "2024", false, 2021},
}};

constexpr int ReleaseIndexOfYear(int year) {
    return (year >= kFirstReleaseYear && year <= kLastReleaseYear) ? year - kFirstReleaseYear : -1;
}

// The set of releases to install: one flag per ReleaseIndex, nonzero = ticked.
using TickFlags = std::array<int, kReleaseCount>;

}  // namespace tx
