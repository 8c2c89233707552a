// The link-type word: one integer per channel link whose bits say what kind
// of link it is and which attributes it has. Every part of the model asks
// its questions through these predicates, never by testing bits itself.
#pragma once

namespace kesta {

// Bits of the word. The channel input sets every bit but `kLinkOvertaken`,
// which channel routing sets and clears while a lake covers a link.
constexpr int kLinkSubsurface = 1;    // exchanges water with the aquifer
constexpr int kLinkErodible = 2;      // the bed takes part in sediment transport
constexpr int kLinkTrapezoid = 4;     // open channel, trapezoidal section
constexpr int kLinkBreakpoint = 8;    // open channel, surveyed section
constexpr int kLinkBit16 = 16;        // open channel of a third kind; no card sets it
constexpr int kLinkLake = 32;
constexpr int kLinkStructure = 64;    // hydraulic structure
constexpr int kLinkOvertaken = 128;   // open channel whose nodes lie under a lake

constexpr bool link_has_bit16(int t) { return (t & kLinkBit16) != 0; }
constexpr bool link_is_subsurface(int t) { return (t & kLinkSubsurface) != 0; }
constexpr bool link_is_erodible(int t) { return (t & kLinkErodible) != 0; }
constexpr bool link_is_trapezoid(int t) { return (t & kLinkTrapezoid) != 0; }
constexpr bool link_is_breakpoint(int t) { return (t & kLinkBreakpoint) != 0; }
constexpr bool link_is_lake(int t) { return (t & kLinkLake) != 0; }
constexpr bool link_is_structure(int t) { return (t & kLinkStructure) != 0; }
constexpr bool link_is_lake_or_structure(int t) { return link_is_lake(t) || link_is_structure(t); }
constexpr bool link_is_channel(int t) {
    return link_is_trapezoid(t) || link_is_breakpoint(t) || link_has_bit16(t);
}
// Needs an open-channel bit: bit 128 on a lake or structure word means nothing.
constexpr bool link_is_overtaken(int t) { return link_is_channel(t) && (t & kLinkOvertaken) != 0; }
constexpr bool link_is_erodible_breakpoint(int t) { return link_is_breakpoint(t) && link_is_erodible(t); }
constexpr bool link_is_erodible_trapezoid(int t) { return link_is_trapezoid(t) && link_is_erodible(t); }
// Bit 16 is not an erodible kind.
constexpr bool link_is_erodible_channel(int t) {
    return (link_is_trapezoid(t) || link_is_breakpoint(t)) && link_is_erodible(t);
}
constexpr bool link_is_lake_or_overtaken(int t) { return link_is_lake(t) || link_is_overtaken(t); }
// The nodes of such a link are not routed as a channel.
constexpr bool link_is_lake_struct_or_overtaken(int t) {
    return link_is_structure(t) || link_is_lake(t) || link_is_overtaken(t);
}
constexpr bool link_is_open_channel(int t) {
    return !link_is_structure(t) && !link_is_lake(t) && !link_is_overtaken(t);
}
inline void link_set_overtaken(int& t) { t |= kLinkOvertaken; }
inline void link_clear_overtaken(int& t) { t &= ~kLinkOvertaken; }

}  // namespace kesta
