// The picture decoder as a module of its own, which geminor-cli loads only for a similar-pictures
// search: QtGui, libheif and the codecs they bring are then not mapped into every other scan.

#include "pictures/qt_picture_decoder.h"

extern "C" __attribute__((visibility("default"))) geminor::PictureDecoder *GeminorNewPictureDecoder()
{
    return new geminor::QtPictureDecoder();
}
