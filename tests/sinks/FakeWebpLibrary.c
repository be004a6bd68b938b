/* A stand-in for the WebP library that has WebPFree but no WebPEncodeBGRA. */
#include <stdlib.h>

void WebPFree(void* ptr) {
    free(ptr);
}
