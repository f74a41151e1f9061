// The corpus of crafted image files in tests/data/corpus and what each of its readers should do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ocu::test {

struct CorpusFile {
    std::string name;
    std::string path;
    bool viewerShows = false; // with the buffers of a 1280 x 1024 sensor
    bool ocuimageShows = false;
};

// The little-endian 32-bit value at byte `at` of a file's bytes.
uint32_t Le32At(const std::string& bytes, size_t at);

// A raw file: its width and height as little-endian 32-bit values, then the samples as they are.
std::string RawFileBytes(int32_t width, int32_t height, const std::string& samples);

// Every file the corpus lists, with "pipeline" resolved by the pipeline's current rule.
std::vector<CorpusFile> CorpusFiles();

} // namespace ocu::test
