#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/store.h"

namespace verlisk::receiver {

inline constexpr int kRowsPerPage = 100;
inline constexpr std::size_t kChartBars = 20;

// What the page at / shows.
struct PageView {
    Filter filter;
    std::int64_t page = 1;   // from 1
    std::int64_t total = 0;  // reports matching the filter
    std::vector<StoredReport> rows;
    std::vector<AircraftSummary> aircraft;  // the highest median first
    std::string download;                   // where the pilot download is, or ""
};

std::string RenderPage(const PageView& view);

// The exports: a header (CSV) or opening, one piece per report, and a closing.
std::string CsvHeader();
std::string CsvRow(const StoredReport& r);
std::string JsonRow(const StoredReport& r, bool first);
inline constexpr std::string_view kJsonOpen = "[";
inline constexpr std::string_view kJsonClose = "\n]\n";

std::string HtmlEscape(std::string_view text);
// 2026-12-04T19:35:12Z
std::string IsoTime(std::int64_t ms);

}  // namespace verlisk::receiver
