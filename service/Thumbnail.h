#pragma once

#include <stdexcept>
#include <string>

class ThumbnailError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A JPEG picture for a catalogue entry, drawn in code and always the same for the same id: a
// diagonal gradient in colours taken from the id, soft circles, rolling hills and a play badge.
// Throws ThumbnailError when the encoder fails.
std::string RenderThumbnail(int id, int width, int height);
