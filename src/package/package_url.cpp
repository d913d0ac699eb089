// Package server address and request URL composition.
#include "package/package_url.h"

#include "common/fixed_text.h"
#include "package/wire_protocol.h"

#ifndef TESSALY_PACKAGE_HOST
#error "TESSALY_PACKAGE_HOST must name the package server (host or host:port)"
#endif

namespace tessaly {

const char PackageBaseUrl[] = "http://" TESSALY_PACKAGE_HOST TESSALY_PACKAGE_BASE_PATH;

bool ComposePackageUrl(const char* baseUrl, const char* relativePath, char (&url)[URL_CAPACITY]) {
    while (*relativePath == '/' || *relativePath == '\\') {
        ++relativePath;
    }
    return ComposeText(url, {baseUrl, relativePath});
}

}  // namespace tessaly
