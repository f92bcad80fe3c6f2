// The largest picture the office takes from a station: the bytes of one
// reply are capped where they are read (protocol::kMaxPictureSize), and a
// decoded picture may not exceed these sides and this area, so four numbers
// in a picture's header never make the office allocate gigabytes.
#pragma once

#include <cstdint>

namespace pw::interactive {

inline constexpr std::int64_t kMaxPictureSide = 16384;
inline constexpr std::int64_t kMaxPicturePixels = 64LL * 1024 * 1024;

// Raises pw::Error "Недопустимый размер изображения: W x H" unless both sides
// are positive and within the caps.
void CheckPictureSize(std::int64_t width, std::int64_t height);

}  // namespace pw::interactive
