#include "zip/zip_result.hpp"

namespace zs::zip {

const char* zip_result_text(zip_result code) {
    switch (code) {
    case ZR_OK:
        return "Success";
    case ZR_NODUPH:
        return "Culdn't duplicate handle";
    case ZR_NOFILE:
        return "Couldn't create/open file";
    case ZR_NOALLOC:
        return "Failed to allocate memory";
    case ZR_WRITE:
        return "Error writing to file";
    case ZR_NOTFOUND:
        return "File not found in the zipfile";
    case ZR_MORE:
        return "Still more data to unzip";
    case ZR_CORRUPT:
        return "Zipfile is corrupt or not a zipfile";
    case ZR_READ:
        return "Error reading file";
    case ZR_ARGS:
        return "Caller: faulty arguments";
    case ZR_NOTMMAP:
        return "Caller: can only get memory of a memory zipfile";
    case ZR_MEMSIZE:
        return "Caller: not enough space allocated for memory zipfile";
    case ZR_FAILED:
        return "Caller: there was a previous error";
    case ZR_ENDED:
        return "Caller: additions to the zip have already been ended";
    case ZR_MISSIZE:
        return "Zip-bug: the anticipated size turned out wrong";
    case ZR_PARTIALUNZ:
        return "Caller: the file had already been partially unzipped";
    case ZR_ZMODE:
        return "Caller: mixing creation and opening of zip";
    case ZR_NOTINITED:
        return "Zip-bug: internal initialisation not completed";
    case ZR_SEEK:
        return "Zip-bug: trying to seek the unseekable";
    case ZR_NOCHANGE:
        return "Zip-bug: tried to change mind, but not allowed";
    case ZR_FLATE:
        return "Zip-bug: an internal error during flation";
    default:
        return "unknown zip result code";
    }
}

} // namespace zs::zip
