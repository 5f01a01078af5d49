// Renderer construction on the recording device: what a complete renderer
// holds, every construction error with its text and nothing left behind,
// the order of the shader library search, and the profiling switch.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "corvel/gl/MetalError.h"
#include "corvel/gl/MetalSurface.h"
#include "corvel/gl/MetalSwitch.h"
#include "corvel/gl/MetalTerminalRenderer.h"
#include "corvel/gl/RecordingGpuDevice.h"
#include "GpuFrameSupport.h"

namespace corvel::gl {
namespace {

std::string builtInSource() { return *loadShaderSource(ShaderSearch{}); }

// The built-in source with one section's name changed.
std::string sourceWithout(const std::string& name)
{
    std::string source = builtInSource();
    const std::string marker = "//! " + name + "\n";
    source.replace(source.find(marker), marker.size(), "//! " + name + "_renamed\n");
    return source;
}

void writeFile(const QString& path, const std::string& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

struct Fixture {
    std::shared_ptr<RecordingGpuDevice> device = std::make_shared<RecordingGpuDevice>();
    RendererSetup setup;
    Fixture()
    {
        setup.makeDevice = [d = device] { return d; };
    }
    // The description of the error construction throws, or "" when none.
    std::string constructionError()
    {
        try {
            MetalTerminalRenderer renderer(nullptr, nullptr, setup);
        } catch (const MetalError& error) {
            return error.description();
        }
        return {};
    }
};

TEST(RendererSetup, CompleteRendererHoldsSixPipelinesAtlasesAndSamplerAndReleasesAll)
{
    Fixture f;
    {
        MetalTerminalRenderer renderer(nullptr, nullptr, f.setup);
        const auto& shaders = f.device->shaders;
        const auto expect = [&](GpuHandle pipeline, const char* vertex, const char* fragment, BlendState blend) {
            ASSERT_TRUE(f.device->pipelines.contains(pipeline)) << vertex;
            const auto& p = f.device->pipelines.at(pipeline);
            const auto body = ShaderLibrary::sections(builtInSource());
            const auto text = [&](const char* name) {
                for (auto& [n, b] : body)
                    if (n == name) return "#version 330 core\n" + b;
                return std::string();
            };
            EXPECT_EQ(p.vertexSource, text(vertex));
            EXPECT_EQ(p.fragmentSource, text(fragment));
            EXPECT_EQ(p.blend, blend) << vertex << " " << fragment;
        };
        const BlendState text{BlendFactor::one, BlendFactor::oneMinusSourceAlpha, BlendFactor::one,
                              BlendFactor::oneMinusSourceAlpha};
        const BlendState color{BlendFactor::sourceAlpha, BlendFactor::oneMinusSourceAlpha, BlendFactor::one,
                               BlendFactor::oneMinusSourceAlpha};
        expect(renderer.textPipeline(), "terminal_text_vertex", "terminal_text_fragment", text);
        expect(renderer.textGrayPipeline(), "terminal_text_vertex", "terminal_text_fragment_gray", text);
        expect(renderer.cellTextPipeline(), "terminal_cell_text_vertex", "terminal_text_fragment", text);
        expect(renderer.cellTextGrayPipeline(), "terminal_cell_text_vertex", "terminal_text_fragment_gray", text);
        expect(renderer.colorPipeline(), "terminal_color_vertex", "terminal_color_fragment", color);
        expect(renderer.cellColorPipeline(), "terminal_cell_color_vertex", "terminal_color_fragment", color);
        // The shader stages are released once linked.
        EXPECT_TRUE(shaders.empty());
        EXPECT_TRUE(f.device->samplers.contains(renderer.sampler()));
        EXPECT_EQ(renderer.grayscaleAtlas().format(), GlyphAtlasFormat::grayscale);
        EXPECT_EQ(renderer.colorAtlas().format(), GlyphAtlasFormat::bgra);
    }
    EXPECT_EQ(f.device->liveObjectCount(), 0u);
}

TEST(RendererSetup, EveryConstructionErrorHasItsTextAndLeavesNothing)
{
    const std::string allNames =
        "terminal_text_vertex, terminal_cell_text_vertex, terminal_text_fragment, terminal_text_fragment_gray, "
        "terminal_color_vertex, terminal_cell_color_vertex, terminal_color_fragment";
    QTemporaryDir dir;
    const QString partial = dir.filePath("partial.glsl");
    writeFile(partial, sourceWithout("terminal_cell_color_vertex"));

    struct Case {
        const char* name;
        std::function<void(Fixture&)> arrange;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no device", [](Fixture& f) { f.setup.makeDevice = [] { return nullptr; }; },
         "No Metal device is available."},
        {"no command queue", [](Fixture& f) { f.device->failCommandQueue = true; },
         "Failed to create Metal command queue."},
        {"no grayscale atlas", [](Fixture& f) { f.device->texturesBeforeFailure = 0; },
         "Failed to create the glyph atlas."},
        {"no colour atlas", [](Fixture& f) { f.device->texturesBeforeFailure = 1; },
         "Failed to create the glyph atlas."},
        {"no source", [](Fixture& f) { f.setup.shaderSearch.sourcePaths = {"/nonexistent/Shaders.glsl"}; },
         "Failed to load Metal shader source: corvel/gl/Shaders"},
        {"source not compiling",
         [](Fixture& f) {
             f.device->compileFails = [](const std::string& s) { return s.find("fragColor = vColor;") != s.npos; };
         },
         "Failed to compile Metal shader source: terminal_color_fragment: 0:1(1): error: syntax error"},
        {"source lacking a function", [&](Fixture& f) { f.setup.shaderSearch.sourcePaths = {partial}; },
         "Metal library missing required function: " + allNames},
        {"no sampler", [](Fixture& f) { f.device->failSampler = true; }, "Failed to create Metal sampler state."},
    };
    for (const Case& c : cases) {
        Fixture f;
        c.arrange(f);
        EXPECT_EQ(f.constructionError(), c.expected) << c.name;
        EXPECT_EQ(f.device->liveObjectCount(), 0u) << c.name;
    }
    for (int failing = 1; failing <= 6; ++failing) {
        Fixture f;
        f.device->failingPipeline = failing;
        EXPECT_EQ(f.constructionError(), "Failed to create Metal pipeline: text/color/cell") << failing;
        EXPECT_EQ(f.device->liveObjectCount(), 0u) << failing;
    }
}

TEST(RendererSetup, LibrarySearchOrder)
{
    QTemporaryDir dir;
    QDir folder(dir.path());
    Fixture f;
    // A default library with every function: nothing else is looked at.
    f.setup.shaderSearch.sourcePaths = {};
    f.setup.shaderSearch.libraryFolders = {"/nonexistent"};
    f.setup.shaderSearch.defaultLibrary = [](GpuDevice& device) {
        std::string error;
        return ShaderLibrary::compile(device, builtInSource(), error);
    };
    EXPECT_EQ(f.constructionError(), "");

    // Without one, the first library file of a folder's listing is used.
    f.setup.shaderSearch.defaultLibrary = nullptr;
    f.setup.shaderSearch.libraryFolders = {dir.path()};
    writeFile(folder.filePath("a.glsl"), builtInSource());
    writeFile(folder.filePath("b.glsl"), "//! terminal_text_vertex\nbroken\n");
    f.device->compileFails = [](const std::string& s) { return s.find("broken") != s.npos; };
    EXPECT_EQ(f.constructionError(), "");

    // "default.glsl" comes before the others; a library that does not load
    // is an error of its own.
    writeFile(folder.filePath("default.glsl"), "//! terminal_text_vertex\nbroken\n");
    EXPECT_EQ(f.constructionError(),
              "Failed to load Metal library: terminal_text_vertex: 0:1(1): error: syntax error");
    writeFile(folder.filePath("default.glsl"), std::string("\xff\xfe not text", 11));
    EXPECT_EQ(f.constructionError().rfind("Failed to load Metal library: ", 0), 0u);

    // A library lacking a function falls through to the shader source.
    writeFile(folder.filePath("default.glsl"), sourceWithout("terminal_text_fragment_gray"));
    EXPECT_EQ(f.constructionError(), "Failed to load Metal shader source: corvel/gl/Shaders");
    f.setup.shaderSearch.sourcePaths = {ShaderSearch::builtInSourcePath()};
    EXPECT_EQ(f.constructionError(), "");
    EXPECT_EQ(f.device->liveObjectCount(), 0u);
}

TEST(RendererSetup, SurfaceDeviceIsKeptOrGivenAndRestoredOnFailure)
{
    Fixture f;
    auto own = std::make_shared<RecordingGpuDevice>();
    MetalSurface withDevice;
    withDevice.setDevice(own);
    {
        MetalTerminalRenderer renderer(&withDevice, nullptr, f.setup);
        EXPECT_EQ(&renderer.device(), own.get());
        EXPECT_EQ(renderer.view(), &withDevice);
    }
    EXPECT_EQ(own->liveObjectCount(), 0u);

    MetalSurface without;
    {
        MetalTerminalRenderer renderer(&without, nullptr, f.setup);
        EXPECT_EQ(without.device().get(), f.device.get());
    }
    MetalSurface failing;
    f.device->failSampler = true;
    EXPECT_THROW(MetalTerminalRenderer(&failing, nullptr, f.setup), MetalError);
    EXPECT_EQ(failing.device(), nullptr);
}

TEST(RendererSetup, FailedSwitchLeavesTheViewAsItWas)
{
    Fixture f;
    f.device->failingPipeline = 4;
    testing::StandInView view;
    const auto childrenBefore = view.children();
    MetalSwitch metal(view, f.setup);
    try {
        metal.setUseMetal(true);
        FAIL() << "switched on";
    } catch (const MetalError& error) {
        EXPECT_EQ(error.description(), "Failed to create Metal pipeline: text/color/cell");
    }
    EXPECT_FALSE(metal.useMetalRenderer());
    EXPECT_EQ(metal.metalView(), nullptr);
    EXPECT_EQ(metal.metalRenderer(), nullptr);
    EXPECT_EQ(view.children(), childrenBefore);
    EXPECT_EQ(view.suspended, 0);
    EXPECT_EQ(f.device->liveObjectCount(), 0u);

    f.device->failingPipeline = 0;
    metal.setUseMetal(true);
    EXPECT_TRUE(metal.useMetalRenderer());
    EXPECT_EQ(view.suspended, 1);
    metal.setUseMetal(false);
    EXPECT_EQ(f.device->liveObjectCount(), 0u);
}

TEST(RendererSetup, ProfilingOnlyForExactlyOne)
{
    EXPECT_TRUE(MetalTerminalRenderer::profileFlag("1"));
    for (const char* value : {"true", "01", "", "1 ", "0"}) EXPECT_FALSE(MetalTerminalRenderer::profileFlag(value));
    EXPECT_FALSE(MetalTerminalRenderer::profileFlag(nullptr));
}

}  // namespace
}  // namespace corvel::gl
