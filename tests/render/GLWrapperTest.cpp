#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <QDateTime>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>

#include <gtest/gtest.h>

#include "render/OrnGL/GLComponent/DrawCall.h"
#include "render/OrnGL/GLComponent/GLVAO.h"
#include "render/OrnGL/GLProgram/GLProgram.h"
#include "render/OrnGL/GLProgram/GLShader.h"
#include "render/OrnGL/GLTexture/GLTexture.h"
#include "RenderTestUtil.h"
#include "render/YuvShaders.h"

namespace {

class GLWrapperTest : public testing::Test {
protected:
    void SetUp() override
    {
        surface_.create();
        ASSERT_TRUE(context_.create());
        ASSERT_TRUE(context_.makeCurrent(&surface_));
        gl_ = context_.versionFunctions<QOpenGLFunctions_3_3_Core>();
        ASSERT_NE(gl_, nullptr);
        ASSERT_TRUE(gl_->initializeOpenGLFunctions());
    }
    void TearDown() override { context_.doneCurrent(); }

    QOffscreenSurface surface_;
    QOpenGLContext context_;
    QOpenGLFunctions_3_3_Core* gl_ = nullptr;
};

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

TEST_F(GLWrapperTest, ShaderCompileLogs)
{
    struct Case {
        const char* source;
        GLenum stage;
        bool hasDriverLog;
    };
    const Case cases[] = {
        {kRectVertexShader, GL_VERTEX_SHADER, false},
        {kRedFragmentShader, GL_FRAGMENT_SHADER, false},
        {"#version 330\nvoid main() { undefined_call(); }", GL_FRAGMENT_SHADER, true},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        GLuint name = 0;
        {
            GLShader shader(gl_, c.stage, c.source);
            name = shader.Name();
            EXPECT_TRUE(gl_->glIsShader(name));
        }
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(Count(out, "[ INFO  ]"), c.hasDriverLog ? 4 : 2) << out;
        EXPECT_NE(out.find("..\\OrnGL\\GLProgram\\GLShader (13) \n\n\n"), std::string::npos) << out;
        EXPECT_NE(out.find("..\\OrnGL\\GLProgram\\GLShader (14) \nCompiling shader : \n" + std::string(c.source) + "\n"),
                  std::string::npos)
            << out;
        EXPECT_EQ(out.find("(24) \n\n") != std::string::npos, c.hasDriverLog) << out;
        EXPECT_EQ(out.find("(25) ") != std::string::npos, c.hasDriverLog) << out;
        EXPECT_FALSE(gl_->glIsShader(name)) << "deleted with the object";
    }
}

TEST_F(GLWrapperTest, LinkDropsShadersAndLogsFailures)
{
    struct Case {
        const char* fragment;
        bool linkLog;
    };
    const Case cases[] = {
        {kRedFragmentShader, false},
        // Reads an input the vertex stage never writes.
        {"#version 330\nin vec3 missing; out vec4 color; void main() { color = vec4(missing, 1.0); }", true},
    };
    for (const Case& c : cases) {
        // A text never seen before, so a driver's shader cache cannot skip
        // the link and its log.
        const std::string fragmentText =
            std::string(c.fragment) + " // " + std::to_string(QDateTime::currentMSecsSinceEpoch());
        testing::internal::CaptureStdout();
        GLProgram program(gl_);
        auto vertex = std::make_unique<GLShader>(gl_, GL_VERTEX_SHADER, kRectVertexShader);
        auto fragment = std::make_unique<GLShader>(gl_, GL_FRAGMENT_SHADER, fragmentText.c_str());
        const GLuint vName = vertex->Name();
        program.AddShader(std::move(vertex));
        program.AddShader(std::move(fragment));
        program.LinkProgram();
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.find("..\\OrnGL\\GLProgram\\GLProgram (54) ") != std::string::npos, c.linkLog) << out;
        GLint attached = -1;
        gl_->glGetProgramiv(program.Name(), GL_ATTACHED_SHADERS, &attached);
        EXPECT_EQ(attached, 0);
        EXPECT_FALSE(gl_->glIsShader(vName));
        if (!c.linkLog) {
            EXPECT_GE(program.GetUniformLocation("mvp"), 0);
            EXPECT_EQ(program.GetUniformLocation("nothing"), -1);
        }
    }
}

TEST_F(GLWrapperTest, VertexArrayKeepsItsBuffersAndDestroyDeletesThem)
{
    const float a[12] = {0};
    const float b[12] = {0};
    const uint32_t idx[6] = {0, 1, 2, 0, 2, 3};
    GLVAO vao(gl_);
    vao.AddVertexBuffer(a, sizeof(a), 0, 3, 0);
    vao.AddVertexBuffer(b, sizeof(b), 1, 3, 0);
    vao.SetIndexBuffer(idx, sizeof(idx));
    EXPECT_EQ(vao.IndexCount(), 6);
    ASSERT_EQ(vao.VertexBuffers().size(), 2u);

    gl_->glBindVertexArray(vao.Name());
    for (GLuint loc : {0u, 1u}) {
        GLint buffer = 0;
        GLint enabled = 0;
        gl_->glGetVertexAttribiv(loc, GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING, &buffer);
        gl_->glGetVertexAttribiv(loc, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
        EXPECT_EQ(static_cast<GLuint>(buffer), vao.VertexBuffers()[loc]);
        EXPECT_EQ(enabled, GL_TRUE);
    }
    GLint element = 0;
    gl_->glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING, &element);
    EXPECT_EQ(static_cast<GLuint>(element), vao.IndexBuffer());
    gl_->glBindVertexArray(0);

    const std::vector<GLuint> buffers = {vao.VertexBuffers()[0], vao.VertexBuffers()[1], vao.IndexBuffer()};
    const GLuint name = vao.Name();
    vao.Destroy(); // never drawn
    for (GLuint buffer : buffers)
        EXPECT_FALSE(gl_->glIsBuffer(buffer));
    EXPECT_FALSE(gl_->glIsVertexArray(name));
}

std::vector<uint8_t> ReadTexture(QOpenGLFunctions_3_3_Core* gl, GLuint texture, GLenum format, size_t bytes)
{
    std::vector<uint8_t> out(bytes, 0xEE);
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, out.data());
    gl->glBindTexture(GL_TEXTURE_2D, 0);
    return out;
}

TEST_F(GLWrapperTest, TextureUploadsTightlyPackedRows)
{
    // Odd widths: rows of 7, 5 and 1 byte are not padded to four.
    for (int width : {7, 5, 1}) {
        const int height = 3;
        std::vector<uint8_t> plane(static_cast<size_t>(width * height));
        for (size_t i = 0; i < plane.size(); ++i)
            plane[i] = static_cast<uint8_t>(10 + i * 7);
        GLuint name = 0;
        {
            GLTexture texture(gl_);
            name = texture.Name();
            texture.SetData(plane.data(), width, height, GL_RED, GL_RED);
            EXPECT_EQ(ReadTexture(gl_, name, GL_RED, plane.size()), plane) << "width " << width;
            // Same size again: refilled in place.
            for (uint8_t& b : plane)
                b = static_cast<uint8_t>(255 - b);
            texture.SetData(plane.data(), width, height, GL_RED, GL_RED);
            EXPECT_EQ(ReadTexture(gl_, name, GL_RED, plane.size()), plane) << "width " << width;
            GLint alignment = 0;
            gl_->glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
            EXPECT_EQ(alignment, 4) << "the caller's unpack state is restored";
        }
        EXPECT_FALSE(gl_->glIsTexture(name)) << "released when destroyed";
    }
}

TEST_F(GLWrapperTest, LoadImageLogsAndUploadsRgb)
{
    struct Case {
        QImage::Format format;
        int channels;
    };
    const Case cases[] = {{QImage::Format_RGB888, 3}, {QImage::Format_ARGB32, 4}, {QImage::Format_Grayscale8, 1}};
    for (const Case& c : cases) {
        QImage image(3, 2, c.format);
        image.fill(Qt::white);
        image.setPixel(0, 0, qRgb(200, 100, 50));
        if (c.format == QImage::Format_Grayscale8)
            image.setPixel(0, 0, qRgb(90, 90, 90));
        const std::string path = TestPath("image.png");
        ASSERT_TRUE(image.save(QString::fromStdString(path)));

        GLTexture texture(gl_);
        testing::internal::CaptureStdout();
        EXPECT_EQ(texture.LoadImageW(path.c_str()), 0);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("..\\OrnGL\\GLTexture\\GLTexture (41) width:3\n"), std::string::npos) << out;
        EXPECT_NE(out.find("..\\OrnGL\\GLTexture\\GLTexture (42) height:2\n"), std::string::npos) << out;
        EXPECT_NE(out.find("..\\OrnGL\\GLTexture\\GLTexture (43) channels:" + std::to_string(c.channels) + "\n"),
                  std::string::npos)
            << out;
        const std::vector<uint8_t> rgb = ReadTexture(gl_, texture.Name(), GL_RGB, 3 * 3 * 2);
        if (c.format == QImage::Format_Grayscale8) {
            EXPECT_EQ(rgb[0], 90);
            EXPECT_EQ(rgb[2], 90);
        } else {
            EXPECT_EQ(rgb[0], 200);
            EXPECT_EQ(rgb[1], 100);
            EXPECT_EQ(rgb[2], 50);
        }
        EXPECT_EQ(rgb[3], 255) << "second texel, no row or texel skew";
        EXPECT_EQ(rgb[17], 255);
    }
    // Neither a missing file nor a FIFO (which would wait for a writer) loads.
    const std::string fifo = TestPath("pipe.png");
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ::alarm(30);
    GLTexture texture(gl_);
    testing::internal::CaptureStdout();
    EXPECT_EQ(texture.LoadImageW(TestPath("missing.png").c_str()), -1);
    EXPECT_EQ(texture.LoadImageW(fifo.c_str()), -1);
    testing::internal::GetCapturedStdout();
    ::alarm(0);
    ::unlink(fifo.c_str());
}

TEST_F(GLWrapperTest, OffscreenDrawCallRendersIntoItsTexture)
{
    testing::internal::CaptureStdout();
    auto call = std::make_unique<DrawCall>(gl_, kRectVertexShader, kRedFragmentShader, 8, 4, 2);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.find("Framebuffer is not complete"), std::string::npos) << out;
    ASSERT_NE(call->FrameBuffer(), 0u);
    ASSERT_NE(call->TargetTexture(), nullptr);

    const float quad[12] = {-1, -1, 0, 1, -1, 0, -1, 1, 0, 1, 1, 0};
    const uint32_t idx[6] = {0, 1, 2, 1, 3, 2};
    GLVAO vao(gl_);
    vao.AddVertexBuffer(quad, sizeof(quad), 0, 3, 0);
    vao.SetIndexBuffer(idx, sizeof(idx));
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    call->SetUniformMatrix("mvp", identity); // before the vertex array is set
    call->SetVAO(&vao);
    call->BindTarget();
    gl_->glViewport(0, 0, 8, 4);
    gl_->glClearColor(0, 0, 0, 1);
    gl_->glClear(GL_COLOR_BUFFER_BIT);
    call->Draw();
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const std::vector<uint8_t> rgb = ReadTexture(gl_, call->TargetTexture()->Name(), GL_RGB, 8 * 4 * 3);
    for (size_t i = 0; i < rgb.size(); i += 3) {
        EXPECT_EQ(rgb[i], 255);
        EXPECT_EQ(rgb[i + 1], 0);
    }

    const GLuint fbo = call->FrameBuffer();
    const GLuint program = call->Program()->Name();
    gl_->glUseProgram(0);
    call.reset();
    EXPECT_FALSE(gl_->glIsFramebuffer(fbo));
    EXPECT_FALSE(gl_->glIsProgram(program));
}

} // namespace
