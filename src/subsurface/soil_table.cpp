#include "subsurface/soil_table.hpp"

#include "core/error_record.hpp"
#include "core/line_reader.hpp"
#include "core/text_format.hpp"
#include "core/token_stream.hpp"
#include "core/warnings.hpp"

namespace kesta {

namespace {

constexpr int kLayers = 3;
constexpr int kColumns = 9;
// Values per layer: layer 3 has no column 9.
constexpr int kLayerValues[kLayers] = {9, 9, 8};

// Record slot of column k (from 1) for layers 1, 2 and 3; the soil-layer
// code gives each slot its meaning.
constexpr int kSlot[kColumns][kLayers] = {
    {4, 5, 6},    {25, 26, 27}, {0, 1, 2},    {7, 8, 9},    {16, 17, 18},
    {13, 14, 15}, {19, 20, 21}, {10, 11, 12}, {22, 23, -1},
};

// The columns of a layer line, in file order.
enum layer_column {
    conductivity_col,  // saturated conductivity, cm/h
    pore_index_col,    // Brooks-Corey lambda
    capillary_col,     // wetting-front capillary head, cm
    porosity_col,
    capacity_col,      // field capacity
    wilting_col,       // wilting point
    residual_col,      // residual water content
    initial_col,       // initial water content
    thickness_col,     // cm, layers 1 and 2
};

// The deepest layer: 1000 m, as deep as the soil column of any depth card.
constexpr double kMostThickness = 1e5;  // cm

// What makes the values of one layer unusable, or empty when nothing does.
// The water contents must rise as residual <= wilting point < field
// capacity <= porosity: the drainage divides by porosity - residual and the
// evapotranspiration by field capacity - wilting point.
std::string layer_problem(const double (&v)[kColumns], bool has_thickness) {
    if (!(v[conductivity_col] >= 0.0))
        return format_text("saturated hydraulic conductivity %.10g cm/h: it must be 0 or more", v[conductivity_col]);
    if (!(v[pore_index_col] > 0.0))
        return format_text("pore distribution index %.10g: it must be above 0", v[pore_index_col]);
    if (!(v[capillary_col] >= 0.0))
        return format_text("capillary head %.10g cm: it must be 0 or more", v[capillary_col]);
    const double phi = v[porosity_col], fc = v[capacity_col], wp = v[wilting_col], thr = v[residual_col];
    if (!(phi > 0.0 && phi < 1.0))
        return format_text("porosity %.10g: it must lie between 0 and 1 (both excluded)", phi);
    if (!(fc <= phi)) return format_text("field capacity %.10g: it must not exceed the porosity %.10g", fc, phi);
    if (!(wp >= 0.0 && wp < fc))
        return format_text("wilting point %.10g: it must be 0 or more and below the field capacity %.10g", wp, fc);
    if (!(thr >= 0.0 && thr <= wp))
        return format_text("residual water content %.10g: it must be 0 or more and not above the wilting point %.10g",
                           thr, wp);
    if (!(v[initial_col] >= thr && v[initial_col] <= phi))
        return format_text("initial water content %.10g: it must lie from the residual water content %.10g to the "
                           "porosity %.10g",
                           v[initial_col], thr, phi);
    if (has_thickness && !(v[thickness_col] > 0.0 && v[thickness_col] <= kMostThickness))
        return format_text("layer thickness %.10g cm: it must lie above 0 and at most %g cm", v[thickness_col],
                           kMostThickness);
    return std::string();
}

// The lines of the table that hold anything, numbered as in the file.
class table_lines {
public:
    explicit table_lines(std::FILE* fp) : fp_(fp) {}

    // The words (separated by white space) of the next line that holds any;
    // false at the end of the file.
    bool next(std::vector<std::string>& words) {
        std::string text;
        while (read_text_line(fp_, text)) {
            ++line_;
            words.clear();
            std::size_t pos = 0;
            for (std::string w = next_word(text, pos); !w.empty(); w = next_word(text, pos)) words.push_back(w);
            if (!words.empty()) return true;
        }
        ended_ = true;
        return false;
    }
    // The line of the last words read; at the end, the line after the last.
    int line() const { return ended_ ? line_ + 1 : line_; }

private:
    std::FILE* fp_;
    int line_ = 0;
    bool ended_ = false;
};

int refuse_line(const std::string& file_name, int line, const std::string& detail) {
    refuse(format_text("Error: soil table %s, line %d: %s\n", file_name.c_str(), line, detail.c_str()));
    return -1;
}

}  // namespace

int read_soil_class_table(std::FILE* fp, const std::string& file_name, std::vector<soil_class_record>& soil_class,
                          std::vector<char>* defined) {
    table_lines lines(fp);
    std::vector<std::string> words;
    auto fail = [&](const std::string& detail) { return refuse_line(file_name, lines.line(), detail); };
    // The next line holding anything; `what` names it when the file ends.
    auto next_line = [&](const std::string& what) {
        if (lines.next(words)) return true;
        fail(format_text("the file ends where %s was expected", what.c_str()));
        return false;
    };
    auto to_int = [&](const std::string& word, int& v, const std::string& what) {
        if (parse_int(word, v)) return true;
        fail(format_text("%s \"%s\" is not an integer", what.c_str(), echoed(word).c_str()));
        return false;
    };

    // The header: the number of classes and one unused integer, on one line
    // or on two.
    int count = 0;
    int unused = 0;
    if (!next_line("the number of classes")) return -1;
    if (words.size() > 2)
        return fail(format_text("the header holds %zu values; it gives the number of classes and one further "
                                "integer",
                                words.size()));
    if (!to_int(words[0], count, "the number of classes")) return -1;
    if (words.size() == 2) {
        if (!to_int(words[1], unused, "the second header number")) return -1;
    } else {
        if (!next_line("the second header number")) return -1;
        if (words.size() != 1)
            return fail(format_text("the second header line holds %zu values; it gives one integer", words.size()));
        if (!to_int(words[0], unused, "the second header number")) return -1;
    }
    if (count < 0) return fail(format_text("class count %d is negative", count));

    const int nrecords = static_cast<int>(soil_class.size());
    if (defined) defined->assign(soil_class.size(), 0);
    for (int i = 1; i <= count; ++i) {
        const std::string whose = format_text("the identifier of class %d of %d", i, count);
        if (!next_line(whose)) return -1;
        if (words.size() != 1)
            return fail(format_text("the line of %s holds %zu values; the identifier stands alone on its line",
                                    whose.c_str(), words.size()));
        int id = 0;
        if (!to_int(words[0], id, whose)) return -1;
        if (id < 0 || id >= nrecords)
            return fail(format_text("class identifier %d lies outside 0 to %d", id, nrecords - 1));
        soil_class_record rec = soil_class[static_cast<std::size_t>(id)];
        for (int layer = 0; layer < kLayers; ++layer) {
            if (!next_line(format_text("layer %d of class %d", layer + 1, id))) return -1;
            const int n = kLayerValues[layer];
            if (static_cast<int>(words.size()) != n)
                return fail(format_text("class %d, layer %d: the line holds %zu values; a line of layer %d holds %d%s",
                                        id, layer + 1, words.size(), layer + 1, n,
                                        layer + 1 == kLayers ? " (no thickness)" : ""));
            double v[kColumns] = {};
            for (int k = 0; k < n; ++k) {
                if (!parse_double(words[static_cast<std::size_t>(k)], v[k]))
                    return fail(format_text("class %d, layer %d, value %d \"%s\" is not a number", id, layer + 1,
                                            k + 1, echoed(words[static_cast<std::size_t>(k)]).c_str()));
            }
            const std::string problem = layer_problem(v, n > thickness_col);
            if (!problem.empty()) return fail(format_text("class %d, layer %d: %s", id, layer + 1, problem.c_str()));
            for (int k = 0; k < n; ++k) rec.v[kSlot[k][layer]] = v[k];
        }
        soil_class[static_cast<std::size_t>(id)] = rec;
        if (defined) (*defined)[static_cast<std::size_t>(id)] = 1;
    }
    // The table ends with its last class; what follows is not read, but may
    // be a class the count leaves out.
    if (lines.next(words)) {
        warn(format_text("Warning: soil table %s, line %d: \"%s\" follows the last of the %d classes the "
                         "table counts; the rest of the file is not read.\n",
                         file_name.c_str(), lines.line(), echoed(words[0]).c_str(), count));
    }
    return count;
}

}  // namespace kesta
