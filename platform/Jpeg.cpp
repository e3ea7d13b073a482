#include "platform/Jpeg.h"

#include "platform/Exception.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace {

// Files larger than this are no thumbnail; they are refused before they are read.
constexpr qint64 MaxJpegFileSize = 32 * 1024 * 1024;

// libjpeg's default error handler ends the process; this one jumps back to the loader.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    bool truncated = false;
};

[[noreturn]] void errorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void emitMessage(j_common_ptr info, int level) {
    // A file cut short is padded by the library with an end marker and decodes to a half grey
    // picture; it is a failed download, not a picture.
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && errors->base.msg_code == JWRN_JPEG_EOF)
        errors->truncated = true;
}

void outputMessage(j_common_ptr) {}

[[noreturn]] void fail(const QString& path, const QString& why) {
    throw Exception(QStringLiteral("%1: %2").arg(path, why));
}

// Decodes into image; returns false where libjpeg reported an error. Kept apart from the
// objects with destructors, which a long jump must not cross.
// The smallest eighth scale (1/8 to 8/8) at which the output still covers fitSize both ways.
void chooseScale(jpeg_decompress_struct& info, QSize fitSize) {
    info.scale_denom = 8;
    for (unsigned eighths = 1; eighths <= 8; ++eighths) {
        info.scale_num = eighths;
        jpeg_calc_output_dimensions(&info);
        if (static_cast<int>(info.output_width) >= fitSize.width() &&
            static_cast<int>(info.output_height) >= fitSize.height())
            return;
    }
}

bool decode(jpeg_decompress_struct& info, ErrorManager& errors, const QByteArray& data,
            QSize fitSize, QImage& image, bool& tooLarge) {
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = MaxJpegDecodeMemory;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width > MaxJpegDimension || info.image_height > MaxJpegDimension) {
        tooLarge = true;
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_EXT_RGBX;
    if (fitSize.isValid())
        chooseScale(info, fitSize);
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                   QImage::Format_RGBX8888);
    if (image.isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

QImage loadJpegFile(const QString& path, QSize fitSize) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(path, file.errorString());
    if (file.size() > MaxJpegFileSize)
        fail(path, QStringLiteral("file too large"));
    return loadJpeg(file.readAll(), fitSize, path);
}

QImage loadJpeg(const QByteArray& data, QSize fitSize, const QString& name) {
    if (data.size() > MaxJpegFileSize)
        fail(name, QStringLiteral("file too large"));
    if (data.isEmpty())
        fail(name, QStringLiteral("empty file"));

    jpeg_decompress_struct info{};
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = errorExit;
    errors.base.emit_message = emitMessage;
    errors.base.output_message = outputMessage;
    QImage image;
    bool tooLarge = false;
    if (!decode(info, errors, data, fitSize, image, tooLarge))
        fail(name,
             tooLarge ? QStringLiteral("picture too large") : QStringLiteral("not a JPEG picture"));
    if (errors.truncated)
        fail(name, QStringLiteral("JPEG data cut short"));
    if (fitSize.isValid() && image.size() != fitSize)
        return image.scaled(fitSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}
