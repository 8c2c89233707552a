#include "subsurface/soil_table.hpp"

#include "core/error_record.hpp"
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

int refuse_line(const std::string& file_name, int line, const std::string& detail) {
    refuse(format_text("Error: soil table %s, line %d: %s\n", file_name.c_str(), line, detail.c_str()));
    return -1;
}

}  // namespace

int read_soil_class_table(std::FILE* fp, const std::string& file_name,
                          std::vector<soil_class_record>& soil_class) {
    token_stream ts(fp);
    std::string token;
    // Reads one integer; `what` names it in messages.
    auto next_int = [&](int& v, const std::string& what) {
        if (!ts.next(token)) {
            refuse_line(file_name, ts.token_line(), format_text("the file ends where %s was expected", what.c_str()));
            return false;
        }
        if (!parse_int(token, v)) {
            refuse_line(file_name, ts.token_line(),
                   format_text("%s \"%s\" is not an integer", what.c_str(), echoed(token).c_str()));
            return false;
        }
        return true;
    };

    int count = 0;
    int unused = 0;
    if (!next_int(count, "the number of classes") || !next_int(unused, "the second header number")) {
        return -1;
    }
    if (count < 0) return refuse_line(file_name, ts.token_line(), format_text("class count %d is negative", count));

    const int nrecords = static_cast<int>(soil_class.size());
    for (int i = 1; i <= count; ++i) {
        int id = 0;
        if (!next_int(id, format_text("the identifier of class %d of %d", i, count))) return -1;
        if (id < 0 || id >= nrecords) {
            return refuse_line(file_name, ts.token_line(),
                          format_text("class identifier %d lies outside 0 to %d", id, nrecords - 1));
        }
        soil_class_record rec = soil_class[static_cast<std::size_t>(id)];
        for (int layer = 0; layer < kLayers; ++layer) {
            for (int k = 0; k < kLayerValues[layer]; ++k) {
                if (!ts.next(token)) {
                    return refuse_line(file_name, ts.token_line(),
                                  format_text("the file ends in class %d, layer %d, value %d", id,
                                              layer + 1, k + 1));
                }
                double v = 0.0;
                if (!parse_double(token, v)) {
                    return refuse_line(file_name, ts.token_line(),
                                  format_text("class %d, layer %d, value %d \"%s\" is not a number", id,
                                              layer + 1, k + 1, echoed(token).c_str()));
                }
                rec.v[kSlot[k][layer]] = v;
            }
        }
        soil_class[static_cast<std::size_t>(id)] = rec;
    }
    // The table ends with its last class; what follows is not read, but may
    // be a class the count leaves out.
    if (ts.next(token)) {
        warn(format_text("Warning: soil table %s, line %d: \"%s\" follows the last of the %d classes the "
                         "table counts; the rest of the file is not read.\n",
                         file_name.c_str(), ts.token_line(), echoed(token).c_str(), count));
    }
    return count;
}

}  // namespace kesta
