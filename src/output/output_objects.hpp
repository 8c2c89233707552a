// Output objects held by the model state: one map output series and one
// link/node output, and the reservoir-model coupling record.
#pragma once

#include "core/arrays.hpp"
#include "core/file_opener.hpp"

namespace kesta {

// One map output series. Its file is either a plain grid series or a dataset,
// which is closed with its end mark.
class map_series {
public:
    map_series();
    ~map_series();
    map_series(const map_series&) = delete;
    map_series& operator=(const map_series&) = delete;

    array1d<double> values;
    array1d<double> scratch;
    array1d<double> extra;
    std::string file_names[2];
    file_ptr out;
    bool is_dataset = false;
    double missing_value = -999.99;
    double scale = 1.0;
    int counter = 1;
};

// One link/node output.
class linknode_output {
public:
    linknode_output();
    ~linknode_output() = default;
    linknode_output(const linknode_output&) = delete;
    linknode_output& operator=(const linknode_output&) = delete;

    array2d<double> table_a;
    array2d<double> table_b;
    array1d<double> values;
    file_ptr out;  // closed with the object
    int mode = -1;  // unset
    int count_a = 0;
    int count_b = 0;
};

// Coupling record of the reservoir water-quality model: its cell map and the
// flux tables, and its inflow output file.
struct vq_data {
    int fields[10] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    vec1<double> vectors[5];
    mat2<int> cell_map;
    file_ptr inflow;
};

}  // namespace kesta
