// The figures README.md and docs/ quote from the bundled examples and the
// Richards benchmark, held against what the built program gives: each
// example runs in a fresh copy, and every sentence that quotes one of its
// counts, volumes, peaks or excerpts is rebuilt from its outputs and looked
// for in the text. A failure names the sentence as the program now gives
// it. Timings are quoted as rough ranges and are not checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/allocators.hpp"
#include "core/error_record.hpp"
#include "model/model_state.hpp"
#include "overland/overland_arrays.hpp"
#include "subsurface/richards.hpp"
#include "subsurface/richards_state.hpp"
#include "support/run_program.hpp"
#include "support/sanitized_build.hpp"
#include "support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using kesta_test::has;
using kesta_test::lines_of;
using kesta_test::read_file;
using kesta_test::value_after;

const fs::path kSource = KESTA_SOURCE_DIR;

std::string text_of(const char* format, ...) {
    char buf[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

// `v` to `decimals` places, a half rounded away from 0, its thousands
// grouped by commas.
std::string grouped(double v, int decimals) {
    const double scale = std::pow(10.0, decimals);
    std::string s = text_of("%.*f", decimals, std::round(v * scale) / scale);
    const std::size_t sign = s[0] == '-' ? 1 : 0;
    for (std::size_t at = std::min(s.find('.'), s.size()); at > sign + 3; at -= 3) s.insert(at - 3, ",");
    return s;
}

// The text with every run of blanks and line ends made one blank, so that a
// phrase matches however the text is wrapped.
std::string flat(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool blank = c == ' ' || c == '\n';
        if (!blank)
            out += c;
        else if (!out.empty() && out.back() != ' ')
            out += ' ';
    }
    return out;
}

std::string doc(const std::string& name) { return read_file((kSource / name).string()); }

// The README's section under "## heading", up to the next one.
std::string readme_section(const std::string& heading) {
    const std::string readme = doc("README.md");
    const std::size_t at = readme.find("\n## " + heading + "\n");
    if (at == std::string::npos) {
        ADD_FAILURE() << "README.md has no section \"" << heading << "\"";
        return "";
    }
    return readme.substr(at, readme.find("\n## ", at + 1) - at);
}

void expect_says(const std::string& text, const std::string& phrase) {
    EXPECT_TRUE(has(flat(text), phrase)) << "the text does not say what the run gives: \"" << phrase << "\"";
}

// Each line of the code block that follows `lead` in `text` is a line of
// `file`; a line ending in " ..." begins one, and a line "..." stands for
// lines left out.
void expect_block_in(const std::string& text, const std::string& lead, const std::string& file) {
    const std::size_t at = text.find(lead);
    ASSERT_NE(at, std::string::npos) << lead;
    const std::size_t open = text.find("```\n", at);
    ASSERT_NE(open, std::string::npos) << lead;
    const std::size_t close = text.find("\n```", open + 3);
    const std::vector<std::string> lines = lines_of(file);
    for (std::string line : lines_of(text.substr(open + 4, close - open - 4))) {
        if (line == "..." || line.empty()) continue;
        const bool head = line.size() > 4 && line.compare(line.size() - 4, 4, " ...") == 0;
        if (head) line.resize(line.size() - 3);
        const bool found = std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return head ? l.compare(0, line.size(), line) == 0 : l == line;
        });
        EXPECT_TRUE(found) << "the block after \"" << lead << "\" quotes a line the run does not write:\n" << line;
    }
}

// The numbers after every `label` of `text`.
std::vector<double> values_after(const std::string& text, const std::string& label) {
    std::vector<double> v;
    for (std::size_t at = text.find(label); at != std::string::npos; at = text.find(label, at + 1))
        v.push_back(value_after(text.substr(at), label));
    return v;
}

double sum_after(const std::string& text, const std::string& label) {
    double sum = 0.0;
    for (double v : values_after(text, label)) sum += v;
    return sum;
}

// The word after `label`, as printed.
std::string word_after(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return "(no " + label + ")";
    std::istringstream in(text.substr(at + label.size()));
    std::string word;
    in >> word;
    return word;
}

// A section of a summary: from `heading` to the first "percent" after it,
// which ends its balance error.
std::string part(const std::string& text, const std::string& heading) {
    const std::size_t at = text.find(heading);
    if (at == std::string::npos) return "(no " + heading + ")";
    return text.substr(at, text.find("percent", at) + 7 - at);
}

std::vector<std::vector<double>> rows_of(const std::string& text) {
    std::vector<std::vector<double>> rows;
    for (const std::string& line : lines_of(text)) {
        std::vector<double> row = kesta_test::numbers(line);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// The date and hour of a decimal year: day of the year from 1 on 1 January,
// over 365 days, or 366 in a year divisible by 4.
struct date_hour {
    int month = 0, day = 0, hour = 0;
};
date_hour date_of(double decimal_year) {
    const int year = static_cast<int>(decimal_year);
    const bool leap = year % 4 == 0;
    const long minutes = std::lround((decimal_year - year) * (leap ? 527040.0 : 525600.0));
    int doy = static_cast<int>(minutes / 1440);
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    date_hour d;
    d.hour = static_cast<int>(minutes % 1440) / 60;
    for (d.month = 1; doy > days[d.month - 1]; ++d.month) doy -= days[d.month - 1];
    d.day = doy;
    return d;
}
const char* const kMonths[] = {"", "January", "February", "March", "April", "May", "June", "July",
                               "August", "September", "October", "November", "December"};
std::string day_month(const date_hour& d) { return text_of("%d %s", d.day, kMonths[d.month]); }

// An example project run in a fresh folder with an empty maps/: `files` are
// paths under examples/.
struct example_run {
    example_run(const std::vector<std::string>& files, const std::string& project) {
        for (const std::string& f : files)
            fs::copy_file(kSource / "examples" / f, dir.path() / fs::path(f).filename());
        fs::create_directory(dir.path() / "maps");
        run = kesta_test::run_kesta(project, dir.path().string());
    }
    std::string file(const std::string& name) const { return read_file(dir.file(name)); }
    kesta_test::temp_dir dir;
    kesta_test::program_result run;
};

// The valley's grids and `files`.
std::vector<std::string> on_valley(std::initializer_list<const char*> files) {
    std::vector<std::string> all = {"valley/mask.asc", "valley/elevation.asc", "valley/landuse.asc"};
    all.insert(all.end(), files.begin(), files.end());
    return all;
}

constexpr double kCellArea = 900.0;  // m2: the valley's cells of 30 m

// The figures are the plain build's to hold: under the sanitizers the
// examples' runs would take minutes, and other tests run the same examples
// there.
class ReadmeFigures : public ::testing::Test {
protected:
    void SetUp() override {
        if (kesta_test::kSanitizedBuild) GTEST_SKIP() << "the README's figures are checked in the plain build";
    }
};

TEST_F(ReadmeFigures, TheValleyAndItsStormDrainGiveWhatTheReadmeQuotes) {
    example_run v(on_valley({"valley/valley.prj", "valley/valley.cmt", "valley/valley.chan", "valley/valley.gst",
                             "valley/valley.ana"}),
                  "valley.prj");
    ASSERT_EQ(v.run.status, 0) << v.run.output;
    const std::string text = readme_section("The example");
    const std::string sum = v.file("valley.sum");
    const double cells = value_after(v.run.output, "number of grid cells in watershed:");
    expect_says(text, text_of("(%.0f cells, %.1f km2 inside the watershed mask)", cells, cells * kCellArea / 1e6));

    // The channel nodes: the first block of the depth dataset, a line per link.
    const std::string lnd = v.file("chan_depth.lnd");
    const std::vector<std::string> block = lines_of(lnd.substr(lnd.find("\nTS    0\n") + 9));
    int nodes = 0;
    for (int l = 0; l < value_after(lnd, "NUM_LINKS"); ++l) nodes += std::stoi(block[static_cast<std::size_t>(l)]);
    EXPECT_EQ(value_after(lnd, "NUM_LINKS"), 5.0);
    expect_says(text, text_of("five trapezoidal links of %d channel nodes in all", nodes));
    int input_nodes = 0;
    for (double n : values_after(doc("examples/valley/valley.chan"), "\nNODES")) input_nodes += static_cast<int>(n);
    expect_says(doc("docs/inputs.md"),
                text_of("the five links of the valley hold %d input nodes and %d channel nodes", input_nodes, nodes));

    // The peak, its time after the rain began at the start, and the volumes.
    int h = 0, m = 0, s = 0, start_h = 0, start_m = 0;
    ASSERT_EQ(std::sscanf(word_after(sum, "date/time of peak discharge:              7/14/2021").c_str(), "%d:%d:%d",
                          &h, &m, &s),
              3);
    ASSERT_EQ(std::sscanf(sum.substr(sum.find("Event began on 07/14/2021 at ")).c_str(),
                          "Event began on 07/14/2021 at %d:%d", &start_h, &start_m),
              2);
    const double peak = value_after(sum, "Event peak discharge (cubic meters per second):");
    expect_says(text, text_of("an outlet peak of %.1f m3/s, %.0f minutes after the rain began", peak,
                              ((h - start_h) * 3600 + (m - start_m) * 60 + s) / 60.0));
    expect_says(text, "of the " + grouped(value_after(sum, "volume of rainfall to overland:"), 0) + " m3 of rain, " +
                          grouped(value_after(sum, "volume of lateral inflow:"), 0) + " m3 reach the channels and " +
                          grouped(value_after(sum, "volume of discharge:"), 0) + " m3 leave at the outlet");
    expect_block_in(text, "closed by two errors", sum);

    // A depth map every 30 minutes.
    const long maps = std::distance(fs::directory_iterator(v.dir.path() / "maps"), fs::directory_iterator());
    expect_says(text, text_of("`maps/depth.0001.asc` to `maps/depth.%04ld.asc`", maps));

    // The analyzer's report of the second hour, and the hydrograph file.
    const std::string checks = v.file("depth_check.txt");
    const std::vector<double> passed = values_after(checks, "====>");
    ASSERT_GE(passed.size(), 2u);
    expect_says(text, text_of("An hour in, %.0f of the %d nodes are deeper than 1 m", passed[1], nodes));
    expect_block_in(text, "are deeper than 1 m:", checks);
    expect_block_in(text, "ten to a line:", v.file("valley.tvm"));
    // The mask with the cell numbers, in docs/outputs.md.
    expect_block_in(doc("docs/outputs.md"), "shows where it lies.", v.file("maskmap"));

    // The same valley with its storm drain: the peak is the valley's to two decimals.
    example_run d(on_valley({"valley/valley.cmt", "valley/valley.chan", "valley/valley.gst",
                             "valley-drains/drains.prj", "valley-drains/drains.sew", "valley-drains/drains.gpi"}),
                  "drains.prj");
    ASSERT_EQ(d.run.status, 0) << d.run.output;
    const std::string drains = readme_section("The storm-drain example");
    const std::string dsum = d.file("drains.sum");
    expect_says(drains, text_of("the grates took %.1f m3, the outfall gave %.1f m3 to the stream, and %.1f m3 is left "
                                "in the pipes",
                                value_after(dsum, "total inputs to superlink:"),
                                value_after(dsum, "volume of superlink to channels:"),
                                value_after(dsum, "volume remaining in drains:")));
    const std::string cleanup = word_after(dsum, "volume of drain solver clean-up:");
    EXPECT_EQ(word_after(dsum, "volume of drain solver residual:"), cleanup);
    expect_says(drains, "its storage residual both print as " + cleanup + " m3)");
    const double dpeak = value_after(dsum, "Event peak discharge (cubic meters per second):");
    EXPECT_EQ(text_of("%.2f", dpeak), text_of("%.2f", peak));
    expect_says(drains, text_of("The outlet peak is %.2f m3/s, as without the drain", dpeak));
    expect_says(drains, "the mass conservation error prints as " + word_after(dsum, "mass conservation error:") +
                            " percent");
    const std::vector<std::string> words = {"no", "one", "two", "three", "four", "five"};
    std::size_t shallow = 0;
    for (const std::string& line : lines_of(dsum))
        shallow += line.rfind("-Warning: ground elevation less than 2.0m above node bottom.", 0) == 0;
    ASSERT_LT(shallow, words.size());
    expect_says(drains, "the summary lists the " + words[shallow] + " warnings");
}


// Julian date of a calendar date and hour.
double julian(int y, int mo, int d, double hour) {
    y -= mo <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097.0 + doe - 719468.0 + 2440587.5 + hour / 24.0;
}

TEST_F(ReadmeFigures, TheMonthOfSpringGivesTheReadmesWaterBalance) {
    example_run r(on_valley({"valley-spring/spring.prj", "valley-spring/spring.cmt", "valley-spring/weather.kvl",
                             "valley-spring/rain.dat"}),
                  "spring.prj");
    ASSERT_EQ(r.run.status, 0) << r.run.output;
    const std::string text = readme_section("The long-term example");
    const std::string sum = r.file("spring.sum");
    const std::string totals = sum.substr(sum.find("SIMULATION TOTALS"));
    const double area = value_after(sum, "number of grid cells in watershed:") * kCellArea;  // m2
    expect_says(text, text_of("over the %.2f km2 of the watershed", area / 1e6));

    // The decimal year of the first hour, 1 March 2021 at 0:00, in the README and docs/outputs.md.
    std::istringstream hydrograph(r.file("outlet.hyd"));
    std::string first;
    hydrograph >> first;
    expect_says(text, "1 March 2021 at 0:00 is " + first);
    const std::string outputs = doc("docs/outputs.md");
    expect_says(outputs, "1 March 2021 at 0:00, day 60, is written " + first);
    const std::string evap = r.file("evap_out");
    expect_block_in(outputs, "moisture as well.", evap);

    // Per event, and the snow of each event's end.
    const std::vector<double> snow = values_after(sum, "final volume of snow (cu. m):");
    const std::vector<double> snow_start = values_after(sum, "initial liquid-equiv. volume of snow:");
    const std::vector<double> began = values_after(sum, "Event began on strict Julian date:");
    const std::vector<double> ended = values_after(sum, "Event ended on strict Julian date:");
    ASSERT_EQ(snow.size(), 5u);
    ASSERT_EQ(began.size(), 5u);
    ASSERT_EQ(ended.size(), 5u);
    expect_says(text, "one summary per event (every event balances to better than 1e-6 percent)");
    for (double e : values_after(sum, "mass conservation error:")) EXPECT_LT(std::fabs(e), 1e-6);
    // What soaked in between the end of event 2 and the start of event 3,
    // and the soil's evapotranspiration, from the hourly rates (cm/h).
    double melt_before = 0.0, et_hourly = 0.0;
    for (const std::string& line : lines_of(evap)) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0;
        double theta = 0.0, pot = 0.0, et = 0.0, fav = 0.0;
        if (std::sscanf(line.c_str(), "%d/%d/%d %d:%d %lf %lf %lf %lf", &y, &mo, &d, &h, &mi, &theta, &pot, &et,
                        &fav) != 9)
            continue;
        const double t = julian(y, mo, d, h + mi / 60.0);
        if (t > ended[1] + 1e-6 && t <= began[2] + 1e-6) melt_before += fav / 100.0 * area;
        et_hourly += et / 100.0 * area;
    }
    const double rain = sum_after(sum, "volume of rainfall to overland:");
    const double intercepted = sum_after(sum, "volume of interception:");
    const double infiltrated = sum_after(sum, "volume of infiltrated water:");
    const double runoff = sum_after(sum, "volume of discharge:");
    const double direct = sum_after(sum, "volume of direct evaporation:");
    const double et = value_after(totals, "Total amount of evaporation=") - value_after(totals, "Total direct evaporation=");
    EXPECT_NEAR(et_hourly, et, 1e-4 * et);
    const auto row = [&](const std::string& label, double m3, int mm_decimals) {
        expect_says(text, "| " + label + " | " + grouped(m3, 0) + " | " + grouped(m3 / area * 1000.0, mm_decimals) + " |");
    };
    row("precipitation (sum of \"volume of rainfall to overland\")", rain, 1);
    row("held back by the canopy (\"volume of interception\")", intercepted, 1);
    row("fell as snow (events 1 and 2)", snow[1], 1);
    row("snowmelt: " + grouped(melt_before, 0) + " before event 3, " +
            grouped(snow_start[2] - snow[2] - melt_before, 0) + " during it, " + grouped(snow[2], 0) + " after it",
        snow[1], 1);
    EXPECT_NEAR(snow_start[2], snow[1], 0.05);
    EXPECT_EQ(snow[3], 0.0);
    row("infiltration (sum of \"volume of infiltrated water\"), some 92,000 of it melt and leftover water that soaked "
        "in between events",
        infiltrated, 1);
    row("runoff at the outlet (sum of \"volume of discharge\")", runoff, 1);
    row("evapotranspiration from the soil (the run's \"Total amount of evaporation\" less its direct evaporation; "
        "hourly in the `avgetrate` column of `evap_out`)",
        et, 1);
    row("evaporation of water standing on the surface (\"volume of direct evaporation\")", direct, 2);
    row("drainage below the soil column (\"volume ground water recharge\")",
        sum_after(sum, "volume ground water recharge:"), 1);
    row("gain of the soil column",
        value_after(totals, "Final volume in soil over simple soil depth") -
            value_after(totals, "Initial volume in soil over simple soil depth"),
        1);
    const double left = value_after(totals, "Final volume on surface=");
    EXPECT_NEAR(rain - intercepted, infiltrated + runoff + direct + left, 1.0);
    expect_says(text, text_of("evaporation and the %.0f m3 left on the ground at the end", left));
    expect_says(text, "event 3 starts from the " + grouped(snow_start[2], 0) + " m3 of snow that event 2 left and books the " +
                          grouped(melt_before, 0) + " m3 of melt");
}

TEST_F(ReadmeFigures, TheSedimentExampleGivesWhatTheReadmeQuotes) {
    example_run r(on_valley({"valley/valley.gst", "valley-sediment/sediment.prj", "valley-sediment/sediment.chan",
                             "valley-sediment/sediment.cmt", "valley-sediment/sed_loc.txt"}),
                  "sediment.prj");
    ASSERT_EQ(r.run.status, 0) << r.run.output;
    const std::string text = readme_section("The sediment example");
    const std::string sum = r.file("sediment.sum");
    const std::string run = sum.substr(sum.rfind("Overland Sediment Summary"));  // the run's totals
    const auto of_class = [&](int k, const char* what) { return value_after(run, text_of("Total sediment %d %s", k, what)); };
    const double sand_out = value_after(run, "Total sand outlet discharge:");
    const double wash_left = value_after(run, "Final wash-load remaining in suspension:");
    expect_says(text, "(`SED_POROSITY`): " + grouped(value_after(run, "Initial volume of sand in channels:"), 1) +
                          " m3 of sand at the start");
    expect_says(text, text_of("Over land the storm eroded %.1f m3 of clay, %.1f m3 of silt and %.1f m3 of sand; the "
                              "channels received %.1f, %.1f and %.1f m3 of them",
                              of_class(1, "eroded from surface:"), of_class(2, "eroded from surface:"),
                              of_class(3, "eroded from surface:"), of_class(1, "transported into channels:"),
                              of_class(2, "transported into channels:"), of_class(3, "transported into channels:")));
    // The wash load the channels got leaves at the outlet, but what is still suspended.
    EXPECT_NEAR(value_after(run, "Total wash-load outlet discharge:"),
                value_after(run, "Total wash-load to chan from overland:") - wash_left, 0.011);
    EXPECT_GT(sand_out, 2.0 * value_after(run, "Total sand to chan from overland:"));
    expect_says(text, text_of("The yield at the outlet: %.1f m3 of clay and %.1f m3 of silt (all the wash load the "
                              "channels got but %.2f m3, still suspended at the end) and %.1f m3 of sand, most of it "
                              "scoured from the beds, which keep ",
                              of_class(1, "transported into channels:"), of_class(2, "transported into channels:"),
                              wash_left, sand_out) +
                          grouped(value_after(run, "Final sand in channels:"), 1) + " m3");
    for (int k = 1; k <= 3; ++k) {
        const std::string e = word_after(run, text_of("Mass balance error for sediment %d", k));
        EXPECT_TRUE(e == "0.0000" || e == "-0.0000") << e;
    }
    for (const char* label : {"Mass conservation error for wash load:", "Mass conservation error for sand load:",
                              "Overall channel sediment mass cons. error:"}) {
        const std::string e = word_after(run, label);
        EXPECT_TRUE(e == "0.000000" || e == "-0.000000") << label << e;
    }

    double tss = 0.0;
    for (const auto& row : rows_of(r.file("tss_outlet.dat"))) tss = std::max(tss, row[1]);
    expect_says(text, "`tss_outlet.dat`: the outlet's wash-load concentration (g/m3), " + grouped(tss, 0) +
                          " g/m3 at its highest");
    int frames = 0;
    while (fs::exists(r.dir.path() / "maps" / text_of("net_sed_volume.%04d.asc", frames + 1))) ++frames;
    expect_says(text, text_of("`maps/net_sed_volume.0001.asc` to `.%04d.asc`", frames));
    const std::vector<std::string> grid = lines_of(r.file(text_of("maps/net_sed_volume.%04d.asc", frames)));
    double low = 1e30, high = -1e30;
    for (std::size_t i = 6; i < grid.size(); ++i)
        for (double v : kesta_test::numbers(grid[i]))
            if (v > -9999.0) low = std::min(low, v), high = std::max(high, v);
    expect_says(text, text_of("(mm; erosion negative, %.1f to %.1f mm at the end)", low, high));
}

TEST_F(ReadmeFigures, TheContaminantExampleGivesWhatTheReadmeQuotes) {
    example_run r(on_valley({"valley/valley.chan", "valley/valley.gst", "valley-contam/contam.prj",
                             "valley-contam/contam.cmt", "valley-contam/contam_load.asc", "valley-contam/hyd_loc.txt"}),
                  "contam.prj");
    ASSERT_EQ(r.run.status, 0) << r.run.output;
    const std::string text = readme_section("The contaminant example");
    std::vector<double> loads;
    const std::vector<std::string> grid = lines_of(r.file("contam_load.asc"));
    for (std::size_t i = 6; i < grid.size(); ++i)
        for (double v : kesta_test::numbers(grid[i]))
            if (v > 0.0) loads.push_back(v);
    ASSERT_FALSE(loads.empty());
    EXPECT_EQ(*std::min_element(loads.begin(), loads.end()), *std::max_element(loads.begin(), loads.end()));

    const std::string sum = r.file("contam.sum");
    const std::string land = part(sum, "Overland Constituent Transport Summary for Constituent     1");
    const std::string channels = part(sum, "Channel Contaminant Transport Summary for Contaminant     1");
    const std::string basin = part(sum, "Contaminant Transport Global Summary for Contaminant     1");
    const double initial = value_after(land, "Initial undissolved mass");
    expect_says(text, text_of("%zu cells that hold %.1f kg each (%.1f kg, from `CONTAM_MAP contam_load.asc`)",
                              loads.size(), loads[0], initial));
    expect_says(text, text_of("Of the %.1f kg, %.2f kg dissolved into the water; %.2f kg infiltrated with it and %.2f "
                              "kg reached the channels",
                              initial, value_after(land, "Uptake from soil"),
                              value_after(land, "Mass loss to infiltration"), value_after(land, "Mass loss to stream")));
    expect_says(text, text_of("The outlet load was %.2f kg; %.2f kg decayed (%.2f kg over land, %.2f kg in the "
                              "channels); %.2f kg was still on the field and %.2f kg in the channels at the end",
                              value_after(channels, "Outlet mass flux"), value_after(basin, "Mass decay loss"),
                              value_after(land, "Mass decay loss on overland"), value_after(channels, "Mass decay loss"),
                              value_after(land, "Final undissolved mass"), value_after(channels, "Final Mass in Channels")));
    expect_says(text, "The balance errors print as " + word_after(land, "Contam mass balance error") +
                          " percent over land, " + word_after(channels, "Dissolved mass balance error") +
                          " in the channels and " + word_after(basin, "Contam mass balance error") +
                          " for the whole basin");

    // Every 5 minutes at the tributary, the reach below it and the outlet.
    const auto conc = rows_of(r.file("con_loc.dat"));
    const auto flux = rows_of(r.file("mass_loc.dat"));
    ASSERT_FALSE(conc.empty());
    ASSERT_FALSE(flux.empty());
    const auto highest = [](const std::vector<std::vector<double>>& rows, std::size_t col) {
        return *std::max_element(rows.begin(), rows.end(), [col](const auto& a, const auto& b) { return a[col] < b[col]; });
    };
    const std::vector<double> tributary = highest(conc, 1), outlet = highest(flux, 3);
    expect_says(text, text_of("The tributary peaks at %.2f g/m3 at minute %.0f; the outlet's flux peaks at %.2f g/s at "
                              "minute %.0f, and its concentration is still %.2f g/m3 at the end",
                              tributary[1], tributary[0], outlet[3], outlet[0], conc.back()[3]));
}

// The whole month with the nutrient module (the slowest of the examples).
TEST_F(ReadmeFigures, TheWaterQualityExampleGivesWhatTheReadmeQuotes) {
    example_run r(on_valley({"valley/valley.chan", "valley/valley.gst", "valley-spring/weather.kvl",
                             "valley-spring/rain.dat", "valley-nutrients/nutrients.prj", "valley-nutrients/nutrients.cmt",
                             "valley-nutrients/aq.env", "valley-nutrients/st.map"}),
                  "nutrients.prj");
    ASSERT_EQ(r.run.status, 0) << r.run.output;
    const std::string text = readme_section("The water-quality example");
    const std::string sum = r.file("nutrients.sum");
    expect_says(text, "in each of the " + grouped(value_after(sum, "number of grid cells in watershed:"), 0) + " cells");

    // Hourly at the outlet: discharge, then the concentrations and masses.
    const auto q = rows_of(r.file("outlet.hyd"));
    const auto no3 = rows_of(r.file("outlet_no3.conc")), nh4 = rows_of(r.file("outlet_nh4.conc"));
    const auto no3_g = rows_of(r.file("outlet_no3.mass")), nh4_g = rows_of(r.file("outlet_nh4.mass"));
    ASSERT_GT(q.size(), 24u);
    for (const auto* s : {&no3, &nh4, &no3_g, &nh4_g}) ASSERT_EQ(s->size(), q.size());
    std::size_t wet = 0;
    while (wet < q.size() && !(q[wet][1] > 0.0)) ++wet;
    ASSERT_LT(wet, q.size());
    expect_says(text, "From the first runoff, on " + day_month(date_of(q[wet][0])) +
                          text_of(", the outlet's water carries about the rain's concentrations, %.3f g/m3 of nitrate "
                                  "and %.3f of ammonium",
                                  no3[wet][1], nh4[wet][1]));
    const auto top = [](const std::vector<std::vector<double>>& rows) {
        return static_cast<std::size_t>(
            std::max_element(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a[1] < b[1]; }) -
            rows.begin());
    };
    // Nitrate's highest value, as written, holds for some hours in a row.
    const std::size_t a = top(nh4), b = top(no3);
    std::size_t b_last = b;
    while (b_last + 1 < no3.size() && no3[b_last + 1][1] == no3[b][1]) ++b_last;
    const date_hour at_a = date_of(nh4[a][0]), from = date_of(no3[b][0]), to = date_of(no3[b_last][0]);
    EXPECT_TRUE(at_a.day == from.day && from.day == to.day && at_a.month == to.month);
    expect_says(text, "after the rain of " + day_month(at_a));
    expect_says(text, text_of("ammonium to its highest, %.3f g/m3, at %d:00, and nitrate to its highest, %.3f g/m3, "
                              "from %d:00 to %d:00 the same day, while the outlet carries less than 0.01 m3/s",
                              nh4[a][1], at_a.hour, no3[b][1], from.hour, to.hour));
    for (std::size_t i = b; i <= b_last; ++i) EXPECT_LT(q[i][1], 0.01);
    // The last event's start, and the hour of the peak.
    int mo = 0, d = 0, y = 0, h = 0, mi = 0;
    const std::size_t last = sum.rfind("Event began on ");
    ASSERT_EQ(std::sscanf(sum.c_str() + last, "Event began on %d/%d/%d at %d:%d", &mo, &d, &y, &h, &mi), 5);
    std::size_t storm = 0;
    while (storm < q.size() && !(date_of(q[storm][0]).month == mo && date_of(q[storm][0]).day == d &&
                                 date_of(q[storm][0]).hour == h))
        ++storm;
    ASSERT_LT(storm, q.size());
    expect_says(text, text_of("(%.3f and %.3f g/m3 before the thunderstorm of ", no3[storm][1], nh4[storm][1]) +
                          day_month(date_of(q[storm][0])) + ")");
    const std::size_t most = top(no3_g);
    EXPECT_EQ(top(nh4_g), most);
    EXPECT_EQ(top(q), most);
    expect_says(text, text_of("the most, %.0f g of nitrate and %.0f g of ammonium, at the thunderstorm's peak at %d:00 "
                              "on ",
                              no3_g[most][1], nh4_g[most][1], date_of(q[most][0]).hour) +
                          day_month(date_of(q[most][0])));

    expect_block_in(text, "The reaction totals at the end of the summary:", sum);
    const std::string stable_n = part(sum, "Global Summary for Algae and, in the soil, Organic Stable Nitrogen");
    const std::string nitrate = part(sum, "Global Summary for Nitrate (NO3-)");
    const std::string ammonium = part(sum, "Global Summary for Ammonium (NH4+)");
    expect_says(text, text_of("of the %.1f million kg of stable organic nitrogen in the soil at the start, %.2f million "
                              "kg are left",
                              value_after(stable_n, "Total initial mass") / 1e6,
                              value_after(stable_n, "Total final Mass") / 1e6));
    expect_says(text, text_of("Ammonium, in the water and the soil together, lost %.0f kg to the reactions",
                              -value_after(ammonium, "ZEP gain/loss")));
    expect_says(text, text_of("The rain brought %.0f kg of nitrate and %.0f kg of ammonium; %.0f kg of nitrate and %.0f "
                              "kg of ammonium left the valley",
                              value_after(nitrate, "Precipitation inputs"), value_after(ammonium, "Precipitation inputs"),
                              value_after(nitrate, "Total mass out of system"),
                              value_after(ammonium, "Total mass out of system")));
    // Every section's balance error prints as zero.
    int errors = 0;
    for (const std::string& line : lines_of(sum)) {
        if (line.find("mass balance error") == std::string::npos || line.rfind("Overall", 0) == 0) continue;
        std::istringstream words(line);
        std::string w, value;
        while (words >> w)
            if (w != "percent") value = w;
        EXPECT_TRUE(value == "0.0000" || value == "-0.0000") << line;
        ++errors;
    }
    EXPECT_GT(errors, 100);
    // Constituent 1 is the contaminant of the OV_* cards, which the project does not give: it holds nothing.
    EXPECT_TRUE(has(sum, "Overland Constituent Transport Summary for Constituent     1 (uniform contaminant)\n"));
    const std::vector<std::string> first = lines_of(part(sum, "Global Summary for Contaminant     1 \n"));
    ASSERT_GT(first.size(), 5u);
    for (const std::string& line : std::vector<std::string>(first.begin() + 1, first.end())) {
        std::istringstream words(line);
        for (std::string w; words >> w;) {
            const bool number = w.find_first_not_of("-0123456789.") == std::string::npos &&
                                w.find_first_of("0123456789") != std::string::npos;
            if (number) {
                EXPECT_EQ(std::stod(w), 0.0) << line;
            }
        }
    }
    expect_says(text, "begins with a section for the \"uniform contaminant\" (constituent 1; \"Contaminant 1\" in the "
                      "run's channel and global parts), which is no nutrient: all its figures are 0");
}

// The free-draining column of bench/richards_bench.cpp, built as the
// benchmark builds it on one cell.
TEST_F(ReadmeFigures, TheRichardsBenchmarksColumnsHoldTheNodesTheReadmeQuotes) {
    const double loam[10] = {1.0, 0.45, 0.05, 0.25, 0.1, 0.25, 30.0, 0.5, -20.0, 5.0};
    const double clay[10] = {0.1, 0.40, 0.08, 0.30, 0.15, 0.30, 20.0, 0.2, -40.0, 5.0};
    const std::string bench = doc("bench/richards_bench.cpp");
    for (const char* line :
         {"const double loam[10] = {1.0, 0.45, 0.05, 0.25, 0.1, 0.25, 30.0, 0.5, -20.0, 5.0};",
          "const double clay[10] = {0.1, 0.40, 0.08, 0.30, 0.15, 0.30, 20.0, 0.2, -40.0, 5.0};",
          "set_layer(v, 0, loam);\n    set_layer(v, 1, clay);\n    set_layer(v, 2, loam);", "m->aquifer_delta_z = 0.1;",
          "m->soil_moist_depth = 40.0;"})
        ASSERT_TRUE(has(bench, line)) << "the benchmark's soil is no longer this test's: " << line;

    auto m = std::make_unique<kesta::model_state>();
    kesta::g_error_record.clear_for_run();
    m->rows = m->cols = 1;
    m->gridsize = 30.0;
    m->ncells = 1;
    m->inf_richards_on = 1;
    m->quiet = m->super_quiet = 1;
    kesta::alloc_imatrix(m->mask, 2, 2, "mask");
    kesta::alloc_overland_arrays(*m);
    m->elev = kesta::vec1<double>(1);
    m->mask[1][1] = 1;
    m->timestep = 60.0;
    m->richards_c_option = 1;
    m->richards_k_option = 1;
    m->richards_weight = 1.0;
    m->richards_iter_max = 3;
    m->richards_dtheta_max = 0.0025;
    m->richards_upper_option = 3;
    m->aquifer_delta_z = 0.1;
    m->soil_moist_depth = 40.0;
    // Ks, porosity, residual, initial, wilting point, field capacity, depth, lambda, bubbling head, spacing.
    const int slot[10] = {4, 7, 19, 10, 13, 16, 22, 25, 28, 31};
    double* v = m->soil_class[1].v;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 10; ++i) v[slot[i] + j] = (j == 1 ? clay : loam)[i];
    m->richards.defined.assign(kesta::kSoilClasses, 0);
    m->richards.defined[1] = 1;
    m->soiltype[1] = 1;
    m->elev[1] = 100.0;
    m->elevgw[1] = 98.5;
    m->bottom_elev[1] = 97.0;
    ASSERT_TRUE(kesta::init_richards_columns(*m));
    const std::size_t nodes = m->richards.nodes.size();
    expect_says(readme_section("Richards soil columns"),
                text_of("free-draining columns of %zu soil nodes, which store %.0f KB per cell", nodes,
                        static_cast<double>(nodes * sizeof(kesta::richards_node)) / 1024.0));
    kesta::g_error_record.clear_for_run();
}

}  // namespace
