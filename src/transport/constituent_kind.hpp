// The kinds of constituent slot, and what each kind does: one place for the
// questions the transport, the books and the summaries ask of a slot.
#pragma once

namespace kesta {

// What a constituent slot carries (the values of `constituent_type`).
enum class constituent_kind : int {
    none = 0,            // no slot (element 0, or a slot not yet typed)
    contaminant = 1,     // a contaminant of the contaminant table (or a sediment class carried as one)
    water_nutrient = 2,  // a nutrient species carried in water
    soil_nutrient = 3,   // a soil pool of the nutrient module that no water species feeds
};

// Water carries the slot over land and in the channels: every kind but the
// soil-only pools.
constexpr bool carried_by_water(constituent_kind k) { return k != constituent_kind::soil_nutrient; }
// The slot decays, sorbs to sediment and exchanges with the land at the
// rates of the contaminant table.
constexpr bool is_contaminant(constituent_kind k) { return k == constituent_kind::contaminant; }
// The nutrient reactions make and use the slot in the water.
constexpr bool reacts_in_water(constituent_kind k) { return k == constituent_kind::water_nutrient; }

}  // namespace kesta
