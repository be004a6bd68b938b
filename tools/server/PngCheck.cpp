#include "tools/server/PngCheck.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <png.h>
#include <vector>

namespace quorvel::server {

namespace {

struct TFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* why = static_cast<std::string*>(png_get_error_ptr(png));
    if (why != nullptr)
        *why = message != nullptr ? message : "the picture does not decode";
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Everything libpng's long jump may leave behind lives here, outside the jumping frame.
struct TDecode {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    std::vector<png_byte> Row;
    ~TDecode() { png_destroy_read_struct(&Png, &Info, nullptr); }
};

bool Decode(TDecode& d, std::FILE* file, std::string& why) {
    if (setjmp(png_jmpbuf(d.Png)))
        return false;
    png_init_io(d.Png, file);
    png_set_user_limits(d.Png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_cache_max(d.Png, 1000);
    png_set_chunk_malloc_max(d.Png, 8 * 1024 * 1024);
    png_read_info(d.Png, d.Info);
    const png_uint_32 width = png_get_image_width(d.Png, d.Info);
    const png_uint_32 height = png_get_image_height(d.Png, d.Info);
    if (static_cast<unsigned long long>(width) * height > kMaxPngPixels) {
        why = "the picture has more than 268 million pixels";
        return false;
    }
    const int passes = png_set_interlace_handling(d.Png);
    png_read_update_info(d.Png, d.Info);
    d.Row.resize(png_get_rowbytes(d.Png, d.Info));
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(d.Png, d.Row.data(), nullptr);
    png_read_end(d.Png, nullptr);
    return true;
}

} // namespace

bool DecodesAsWholePng(const std::string& path, std::string& why) {
    std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        why = "cannot read the upload";
        return false;
    }
    unsigned char signature[8];
    if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
        why = "the file is not a PNG picture";
        return false;
    }
    std::rewind(file.get());
    TDecode d;
    d.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &why, OnPngError, OnPngWarning);
    if (d.Png == nullptr) {
        why = "no memory to decode the picture";
        return false;
    }
    d.Info = png_create_info_struct(d.Png);
    if (d.Info == nullptr) {
        why = "no memory to decode the picture";
        return false;
    }
    if (!Decode(d, file.get(), why)) {
        if (why.empty())
            why = "the picture does not decode";
        why = "the PNG picture is damaged: " + why;
        return false;
    }
    // libpng reads exactly up to the end of IEND; one more byte means data after it.
    if (std::fgetc(file.get()) != EOF) {
        why = "the PNG file carries data after its end";
        return false;
    }
    return true;
}

} // namespace quorvel::server
