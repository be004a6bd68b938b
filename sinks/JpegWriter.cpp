#include "sinks/JpegWriter.h"

#include "sinks/FileError.h"
#include "sinks/SafeFile.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace quorvel {

namespace {

struct TJpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

// Encodes into a buffer that the library allocates. Only plain C objects live in this
// function, so leaving it through the library's error jump skips no destructor.
bool Encode(const TPixelView& pixels, int quality, unsigned char** buffer, unsigned long* size,
            char* message) {
    jpeg_compress_struct cinfo;
    TJpegError error;
    cinfo.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnJpegError;
    error.message[0] = '\0';
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", error.message);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(pixels.width);
    cinfo.image_height = static_cast<JDIMENSION>(pixels.height);
    // The library reads the 32-bit rows itself and drops the fourth byte.
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.Row(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

void WriteJPG(const TPixelView& Pixels, const std::string& Path, std::uint8_t Quality) {
    if (Pixels.Empty())
        throw EFileError("Cannot write file \"" + Path + "\". The picture is empty.");
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    char message[JMSG_LENGTH_MAX] = {};
    const int quality = Quality > 100 ? 100 : Quality;
    const bool ok = Encode(Pixels, quality, &buffer, &size, message);
    struct TFree {
        unsigned char* p;
        ~TFree() { std::free(p); }
    } release{buffer};
    if (!ok)
        throw EFileError("Cannot write file \"" + Path + "\". " + message);
    WriteWholeFile(Path, buffer, size);
}

} // namespace quorvel
