// The corpus of crafted image files in tests/data/corpus and what each of its readers should do.
#pragma once

#include <string>
#include <vector>

namespace ocu::test {

struct CorpusFile {
    std::string name;
    std::string path;
    bool viewerShows = false; // with the buffers of a 1280 x 1024 sensor
    bool ocuimageShows = false;
};

// Every file the corpus lists, with "pipeline" resolved by the pipeline's current rule.
std::vector<CorpusFile> CorpusFiles();

} // namespace ocu::test
