// The program's names for the shared download loop (common/core/download_loop.h): the workflow
// and its PC take the loop's limits and ends as their own.
#pragma once

#include "common/core/download_loop.h"

namespace qv::bootstrap {

using qv::ByteSink;
using qv::ByteSource;
using qv::DownloadEnd;
using qv::DownloadEndText;
using qv::DownloadLimits;
using qv::DownloadWatch;
using qv::RunDownload;

}  // namespace qv::bootstrap
