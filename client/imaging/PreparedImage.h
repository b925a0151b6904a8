// One picture made ready for sending, with the facts about it that travel to the service
// with the picture (each field is sent under the upload field named beside it).
#pragma once

#include <string>

namespace lumexia {

struct PreparedImage {
    std::wstring sourcePath;   // file name announced for the picture part
    std::wstring preparedPath; // data folder + NewHexId(): the bytes sent
    int isResize = 0;          // ISRESIZEIMG
    int maxSize = 0;           // MAXSIZEIMG
    int isRotation = 0;        // ISROTATIONIMG
    int rotation = 0;          // ROTATIONIMG
    int isOptimizeFormat = 0;  // ISOPTIMIZEFORMAT
    int isOptimizedFormat = 0; // ISOPTIMIZEDFORMAT
    int isInscription = 0;     // ISINSCRIMG
    std::wstring inscription;  // INSCRIMG
    int jpegQuality = 0;       // JPGQUALITY
    int origLength = 0;        // ORIGIMGLENGTH: low 32 bits of the source size, -1 if missing
    unsigned origWidth = 0;    // ORIGIMGWIDTH: as stored, before any rotation
    unsigned origHeight = 0;   // ORIGIMGHEIGHT
    double resizeCoeff = 1.0;  // COEFFRESIZEIMG
};

} // namespace lumexia
