// Texts of the main window.
#pragma once

extern const char* const kMainCaption;
extern const char* const kFrameText;
extern const char* const kWarningText;
extern const char* const kPngType;
extern const char* const kPngNotFoundText;
extern const char* const kPngLoadFailedText;
extern const char* const kDownloadingText;
extern const char* const kChooseVersionText;
