#include "CorpusSupport.h"

#include "TestSupport.h"
#include "imaging/FramePipeline.h"

#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace ocu::test {
namespace {

// A raw file's size as its header states it, for the expectations that follow the pipeline's rule.
bool PipelineTakes(const std::string& path) {
    const std::string bytes = ReadText(path);
    if (bytes.size() < 8)
        return false;
    return PipelineAcceptsSize(static_cast<int32_t>(Le32At(bytes, 0)),
                               static_cast<int32_t>(Le32At(bytes, 4)));
}

} // namespace

uint32_t Le32At(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    return v;
}

std::string RawFileBytes(int32_t width, int32_t height, const std::string& samples) {
    std::string bytes(8, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<char>((static_cast<uint32_t>(width) >> (8 * i)) & 0xFF);
        bytes[static_cast<size_t>(4 + i)] =
            static_cast<char>((static_cast<uint32_t>(height) >> (8 * i)) & 0xFF);
    }
    return bytes + samples;
}

std::vector<CorpusFile> CorpusFiles() {
    const std::string folder = OCU_CORPUS_DIR;
    std::istringstream expected(ReadText(folder + "/EXPECTED"));
    std::vector<CorpusFile> files;
    std::string line;
    while (std::getline(expected, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        CorpusFile file;
        std::string viewer;
        std::string ocuimage;
        fields >> file.name >> viewer >> ocuimage;
        file.path = folder + "/" + file.name;
        const auto shows = [&](const std::string& what) {
            EXPECT_TRUE(what == "shown" || what == "refused" || what == "pipeline") << line;
            return what == "shown" || (what == "pipeline" && PipelineTakes(file.path));
        };
        file.viewerShows = shows(viewer);
        file.ocuimageShows = shows(ocuimage);
        files.push_back(file);
    }
    EXPECT_GE(files.size(), 60u);
    return files;
}

} // namespace ocu::test
