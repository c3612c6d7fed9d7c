#pragma once

#include <cstdint>

namespace sonavel {

// A colour as red, green and blue. The store keeps colours as one number,
// 0x00BBGGRR (red in the low byte), as the colour picker returns them; the
// Player's display names them as 0xRRGGBB. Every conversion between those
// numbers goes through here, so the two byte orders are never mixed up.
struct Color {
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;

    // From a stored colour number (0x00BBGGRR); the top byte is ignored.
    static constexpr Color FromStored(std::int32_t stored) {
        const auto bits = static_cast<std::uint32_t>(stored);
        return {static_cast<std::uint8_t>(bits & 0xFFu),
                static_cast<std::uint8_t>((bits >> 8) & 0xFFu),
                static_cast<std::uint8_t>((bits >> 16) & 0xFFu)};
    }
    constexpr std::int32_t Stored() const {
        return static_cast<std::int32_t>(std::uint32_t{Red} | (std::uint32_t{Green} << 8) |
                                         (std::uint32_t{Blue} << 16));
    }

    // From 0xRRGGBB, the order in which colours are written as web colours.
    static constexpr Color FromRgb(std::uint32_t rgb) {
        return {static_cast<std::uint8_t>((rgb >> 16) & 0xFFu),
                static_cast<std::uint8_t>((rgb >> 8) & 0xFFu),
                static_cast<std::uint8_t>(rgb & 0xFFu)};
    }
    constexpr std::uint32_t Rgb() const {
        return (std::uint32_t{Red} << 16) | (std::uint32_t{Green} << 8) | std::uint32_t{Blue};
    }

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

}  // namespace sonavel
