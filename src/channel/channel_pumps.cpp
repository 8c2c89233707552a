#include "channel/channel_pumps.hpp"

#include <memory>

#include "core/error_record.hpp"
#include "core/text_format.hpp"

namespace kesta {

pump* read_pump_card(line_cursor& line, int link, int link_type) {
    auto p = std::make_unique<pump>();
    pop_int(line, p->card_value1);
    pop_int(line, p->card_value2);
    if (link_type == 4) p->card_value2 = 1;  // a plain trapezoidal link

    std::string kind;
    std::string series_name;
    pop_string(line, kind);
    pop_string(line, series_name);
    if (kind.compare(0, 4, "ELEV") == 0) {
        p->flow_type = pump_elev;
        p->es = find_elev_series(series_name);
    } else if (kind.compare(0, 2, "TS") == 0) {
        p->flow_type = pump_ts;
        p->ts = ts_find_by_name(series_name);
    } else {
        print_both(format_text("\n\nError in the channel input file: Flow type for pump is incorrectly\n"
                          "defined for link %d. Must be ELEV or TS.\n",
                          link));
        fail_and_report();
        return nullptr;
    }
    series_store().chan_pumps.push_back(std::move(p));
    return series_store().chan_pumps.back().get();
}

}  // namespace kesta
