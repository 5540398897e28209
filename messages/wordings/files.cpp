#include "wordings/wording.h"

namespace charlib {

namespace {

constexpr Wording wordings[] = {
    {Code::CannotOpen, N_("Cannot open the file “{path}”: {error}")},
    {Code::CannotRead, N_("Cannot read the file “{path}”: {error}")},
    {Code::ReadPastEnd, N_("The end of the file “{path}” was reached: there are no more lines")},
    {Code::CannotWrite, N_("Cannot write the file “{path}”: {error}")},
    {Code::NoConverter, N_("Cannot open ICU's converter for {encoding}")},
    {Code::OldFileKept, N_("“{path}” has been replaced; the old file is kept as “{backup}”")},
    {Code::NewFileLeft, N_("“{path}” has been written")},
    {Code::FolderLeft, N_("the folder “{path}” has been made")},
    {Code::CannotStartWatch, N_("Cannot watch the inputs for changes: {error}")},
    {Code::CannotWatch, N_("Cannot watch the folder “{path}” for changes: {error}")},
    {Code::WatchLimit, N_("Cannot watch more folders: the system's limit is reached (raise it with sysctl {setting})")},
};

}  // namespace

std::span<const Wording> file_wordings() { return wordings; }

}  // namespace charlib
