// The Aravis backend on cameras with more features than the fake camera has: Aravis's fake camera
// with its own description extended by per-channel gains or balance ratios, blanking, a throughput
// limit and a 12-bit Bayer format (registers at free addresses of its memory).
#include "AravisSupport.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace ocusnap::test {
namespace {

// A register of the fake camera's memory, 4 bytes, signed.
std::string Register(const std::string& name, unsigned address, const std::string& index = "") {
    char text[400];
    std::snprintf(text, sizeof text,
                  "<IntReg Name=\"%s\"><Address>0x%x</Address>%s<Length>4</Length><AccessMode>RW</AccessMode>"
                  "<pPort>Device</pPort><Sign>Signed</Sign><Endianess>BigEndian</Endianess></IntReg>\n",
                  name.c_str(), address, index.c_str());
    return text;
}

std::string Integer(const std::string& name, unsigned address, int min, int max, int increment = 1) {
    return "<Integer Name=\"" + name + "\"><pValue>" + name + "Reg</pValue><Min>" + std::to_string(min) +
           "</Min><Max>" + std::to_string(max) + "</Max><Inc>" + std::to_string(increment) +
           "</Inc></Integer>\n" + Register(name + "Reg", address);
}

// A float feature kept in hundredths in an integer register, optionally one per selector entry.
std::string Float(const std::string& name, unsigned address, double min, double max,
                  const std::string& index = "", const std::string& unit = "") {
    return "<Float Name=\"" + name + "\"><pValue>" + name + "Conv</pValue><Min>" + std::to_string(min) +
           "</Min><Max>" + std::to_string(max) + "</Max>" +
           (unit.empty() ? "" : "<Unit>" + unit + "</Unit>") + "</Float>\n<Converter Name=\"" + name +
           "Conv\"><FormulaTo>FROM*100</FormulaTo><FormulaFrom>TO/100</FormulaFrom><pValue>" + name +
           "Reg</pValue></Converter>\n" + Register(name + "Reg", address, index);
}

std::string Enumeration(const std::string& name, unsigned address,
                        std::initializer_list<const char*> entries) {
    std::string xml = "<Enumeration Name=\"" + name + "\">";
    int value = 0;
    for (const char* entry : entries) {
        xml += "<EnumEntry Name=\"" + std::string(entry) + "\"><Value>" + std::to_string(value++) +
               "</Value></EnumEntry>";
    }
    return xml + "<pValue>" + name + "Reg</pValue></Enumeration>\n" + Register(name + "Reg", address);
}

class AravisRicherCamera : public FakeCameraTest {
protected:
    void SetUp() override {
        // The fake camera's own description, as Aravis has it.
        Camera plain;
        ASSERT_EQ(plain.status, OCU_OK);
        AravisOf(plain.handle).WithCamera([&](ArvCamera* camera) {
            size_t size = 0;
            const char* xml = arv_device_get_genicam_xml(arv_camera_get_device(camera), &size);
            m_original.assign(xml, size);
        });
        ASSERT_NE(m_original.find("<!-- Transport layer control -->"), std::string::npos);
    }
    void TearDown() override {
        arv_set_fake_camera_genicam_filename(nullptr);
        if (!m_path.empty()) {
            std::remove(m_path.c_str());
        }
        DrainDeliveryThreads();
    }
    // Opens the fake camera described with `extra` features added (and 12-bit Bayer samples), and
    // `edits` made to its description (text replaced everywhere).
    void OpenWith(const std::string& extra,
                  std::initializer_list<std::pair<std::string, std::string>> edits = {},
                  OCUSTATUS expected = OCU_OK) {
        std::string xml = m_original;
        xml.insert(xml.find("<!-- Transport layer control -->"), extra);
        const std::string pixelFormats = "<EnumEntry Name=\"BayerGR8\"";
        xml.insert(
            xml.find(pixelFormats),
            "<EnumEntry Name=\"BayerGR12\" NameSpace=\"Standard\"><Value>17825804</Value></EnumEntry>");
        for (const auto& [from, to] : edits) {
            for (size_t at = xml.find(from); at != std::string::npos; at = xml.find(from, at + to.size())) {
                xml.replace(at, from.size(), to);
            }
        }
        // One file per process: CTest runs the cases of this executable side by side.
        m_path = ::testing::TempDir() + "ocusnap-fake-camera-" + std::to_string(getpid()) + ".xml";
        std::ofstream(m_path) << xml;
        arv_set_fake_camera_genicam_filename(m_path.c_str());
        cam = std::make_unique<Camera>();
        ASSERT_EQ(cam->status, expected);
    }
    double Selected(const char* selector, const char* entry, const char* feature) {
        double value = -1;
        AravisOf(cam->handle).WithCamera([&](ArvCamera* camera) {
            arv_camera_set_string(camera, selector, entry, nullptr);
            value = arv_camera_get_float(camera, feature, nullptr);
        });
        return value;
    }

    std::string m_original;
    std::string m_path;
    std::unique_ptr<Camera> cam;
};

TEST_F(AravisRicherCamera, ChannelGainsBlankingThroughputAndDeepSampleFormat) {
    OpenWith(Enumeration("GainSelector", 0x400, {"Red", "Green", "Blue"}) +
             Float("Gain", 0x404, -6, 24, "<pIndex Offset=\"4\">GainSelectorReg</pIndex>") +
             Integer("HorizontalBlanking", 0x420, -20, 500) + Integer("VerticalBlanking", 0x424, -10, 300) +
             Integer("DeviceLinkThroughputLimit", 0x428, 1000000, 125000000, 1000) +
             Enumeration("DeviceLinkThroughputLimitMode", 0x42c, {"Off", "On"}));
    const OCUHANDLE h = cam->handle;
    // 8-bit samples are streamed although deeper ones are offered: twice the frames over the same link.
    EXPECT_EQ(CameraEnum(h, "PixelFormat"), "BayerGR8");
    EXPECT_EQ(CameraEnum(h, "DeviceLinkThroughputLimitMode"), "On");

    // Per-channel gains in decibels: unity 0 dB, twice 6.02 dB, the greens' mean, the range's ends.
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_RED, 16), OCU_OK);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_RED_ROW, 8), OCU_OK);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_BLUE_ROW, 24), OCU_OK);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_BLUE, 0), OCU_OK);
    EXPECT_NEAR(Selected("GainSelector", "Red", "Gain"), 6.02, 0.011);
    EXPECT_NEAR(Selected("GainSelector", "Green", "Gain"), 20 * std::log10(2.0), 0.011);
    EXPECT_NEAR(Selected("GainSelector", "Blue", "Gain"), -6, 0.011);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_BLUE, 127), OCU_OK);
    EXPECT_NEAR(Selected("GainSelector", "Blue", "Gain"), 24, 0.011) << "24.01 dB, clamped to the range";

    // Blanking features take the values, clamped to their ranges, which are the reported limits.
    BlankingLimits limits{};
    uint32_t size = sizeof limits;
    ASSERT_EQ(OcuGetDeviceInfo(h, OCU_INFO_BLANKING_LIMITS, &limits, &size), OCU_OK);
    EXPECT_EQ(limits.nHMin, -20);
    EXPECT_EQ(limits.nHMax, 500);
    EXPECT_EQ(limits.nVMin, -10);
    EXPECT_EQ(limits.nVMax, 300);
    ASSERT_EQ(OcuSetBlanking(h, 120, 1000), OCU_OK);
    EXPECT_EQ(CameraNumber(h, "HorizontalBlanking"), 120);
    EXPECT_EQ(CameraNumber(h, "VerticalBlanking"), 300);
    EXPECT_EQ(CameraNumber(h, "AcquisitionFramePeriod"), 40000) << "the period is the camera's own";

    // Snap speed: the throughput limit at its maximum, or half of it.
    ASSERT_EQ(OcuSetSnapSpeed(h, 0), OCU_OK);
    EXPECT_EQ(CameraNumber(h, "DeviceLinkThroughputLimit"), 62500000);
    ASSERT_EQ(OcuSetSnapSpeed(h, 1), OCU_OK);
    EXPECT_EQ(CameraNumber(h, "DeviceLinkThroughputLimit"), 125000000);
}

TEST_F(AravisRicherCamera, BalanceRatiosFollowTheGreens) {
    OpenWith(Enumeration("BalanceRatioSelector", 0x440, {"Red", "Green", "Blue"}) +
             Float("BalanceRatio", 0x444, 0.1, 8, "<pIndex Offset=\"4\">BalanceRatioSelectorReg</pIndex>"));
    const OCUHANDLE h = cam->handle;
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_RED, 24), OCU_OK);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_RED_ROW, 16), OCU_OK);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_BLUE_ROW, 16), OCU_OK);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_BLUE, 8), OCU_OK);
    // The greens drive the camera's raw gain, red and blue go as their ratio to the greens.
    EXPECT_EQ(CameraNumber(h, "GainRaw"), 1);
    EXPECT_NEAR(Selected("BalanceRatioSelector", "Red", "BalanceRatio"), 1.5, 0.011);
    EXPECT_NEAR(Selected("BalanceRatioSelector", "Blue", "BalanceRatio"), 0.5, 0.011);
    EXPECT_NEAR(Selected("BalanceRatioSelector", "Green", "BalanceRatio"), 1.0, 0.011);
}

TEST_F(AravisRicherCamera, OpenedInAKnownStateWhateverAnotherProgramLeft) {
    // Left in single-frame acquisition (the values of the entries swapped, so that the camera's
    // register reads SingleFrame) and with chunk data on (a switch that reads on at 0).
    OpenWith("<Boolean Name=\"ChunkModeActive\"><pValue>ChunkModeActiveReg</pValue><OnValue>0</OnValue>"
             "<OffValue>1</OffValue></Boolean>\n" +
                 Register("ChunkModeActiveReg", 0x448),
             {{"<EnumEntry Name=\"Continuous\" NameSpace=\"Standard\">\n\t\t\t<Value>1</Value>",
               "<EnumEntry Name=\"Continuous\" NameSpace=\"Standard\">\n\t\t\t<Value>7</Value>"},
              {"<EnumEntry Name=\"SingleFrame\" NameSpace=\"Standard\">\n\t\t\t<Value>2</Value>",
               "<EnumEntry Name=\"SingleFrame\" NameSpace=\"Standard\">\n\t\t\t<Value>1</Value>"}});
    EXPECT_EQ(CameraEnum(cam->handle, "AcquisitionMode"), "Continuous");
    bool chunks = true;
    AravisOf(cam->handle).WithCamera([&](ArvCamera* camera) {
        chunks = arv_camera_get_boolean(camera, "ChunkModeActive", nullptr);
    });
    EXPECT_FALSE(chunks);
    cam.reset();

    // A camera that cannot acquire continuously is not opened, and the error text says why.
    arv_set_fake_camera_genicam_filename(nullptr);
    OpenWith("", {{"<EnumEntry Name=\"Continuous\"", "<EnumEntry Name=\"Contiguous\""}}, OCU_ERR_DEVICE_OPEN);
    const std::string text = OcuGetErrorString(OCU_ERR_DEVICE_OPEN);
    EXPECT_NE(text.find("AcquisitionMode has no Continuous"), std::string::npos) << text;
    // Another status keeps its own text.
    EXPECT_EQ(std::string(OcuGetErrorString(OCU_ERR_NO_CAMERA)).find("AcquisitionMode"), std::string::npos);
}

TEST_F(AravisRicherCamera, TheFrameRateLimitSurvivesEveryTriggerChange) {
    // Aravis switches AcquisitionFrameRateEnable off whenever it sets a trigger.
    OpenWith(
        "<Boolean Name=\"AcquisitionFrameRateEnable\"><pValue>FrameRateEnableReg</pValue><OnValue>1</OnValue>"
        "<OffValue>0</OffValue></Boolean>\n" +
        Register("FrameRateEnableReg", 0x450));
    const OCUHANDLE h = cam->handle;
    auto enabled = [&] {
        bool on = false;
        AravisOf(h).WithCamera([&](ArvCamera* camera) {
            on = arv_camera_get_boolean(camera, "AcquisitionFrameRateEnable", nullptr);
        });
        return on;
    };
    ASSERT_EQ(OcuSetOutputWindow(h, 0, 0, 64, 32), OCU_OK);
    EXPECT_FALSE(enabled()) << "as the camera had it";
    ASSERT_EQ(OcuSetBlanking(h, 0, 16), OCU_OK); // half the 32 lines again: 60 ms instead of 40
    std::vector<uint8_t> buffer(64 * 32);
    uint8_t* buffers[] = {buffer.data()};
    struct Step {
        const char* name;
        std::function<OCUSTATUS()> change;
    };
    const Step steps[] = {
        {"trigger mode", [&] { return OcuSetSnapMode(h, 1); }},
        {"single snap in trigger mode", [&] { return OcuSnapShot(h, buffers, 1); }},
        {"continuation", [&] { return OcuSetSnapMode(h, 0); }},
        {"single snap", [&] { return OcuSnapShot(h, buffers, 1); }},
    };
    for (const Step& step : steps) {
        ASSERT_EQ(step.change(), OCU_OK) << step.name;
        EXPECT_TRUE(enabled()) << step.name;
        EXPECT_EQ(CameraNumber(h, "AcquisitionFramePeriod"), 60000) << step.name;
    }
    ASSERT_EQ(OcuSetBlanking(h, 0, 0), OCU_OK);
    EXPECT_FALSE(enabled()) << "no limit asked for: as the camera had it";
}

TEST_F(AravisRicherCamera, GainUnitsDeepFormatsAndTheCamerasOwnBitShift) {
    // A Gain that counts a plain factor; a camera that shifts its converter's bits itself.
    OpenWith(Float("Gain", 0x460, 1, 32, "", "x") + Integer("DigitalShift", 0x464, 0, 4));
    const OCUHANDLE h = cam->handle;
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_RED_ROW, 16), OCU_OK);
    ASSERT_EQ(OcuAGCControl(h, OCU_GAIN_GREEN_BLUE_ROW, 24), OCU_OK);
    EXPECT_NEAR(CameraNumber(h, "Gain"), 2.5, 0.011);
    ASSERT_EQ(OcuADCControl(h, 0, 2), OCU_OK);
    EXPECT_EQ(CameraNumber(h, "DigitalShift"), 2);
    cam.reset();

    // Without any 8-bit Bayer format the deepest one of the layout is streamed.
    arv_set_fake_camera_genicam_filename(nullptr);
    OpenWith("", {{"Name=\"BayerGR8\"", "Name=\"XBayerGR8\""},
                  {"Name=\"BayerRG8\"", "Name=\"XBayerRG8\""},
                  {"Name=\"BayerGB8\"", "Name=\"XBayerGB8\""},
                  {"Name=\"BayerBG8\"", "Name=\"XBayerBG8\""}});
    EXPECT_EQ(CameraEnum(cam->handle, "PixelFormat"), "BayerGR12");
}

} // namespace
} // namespace ocusnap::test
