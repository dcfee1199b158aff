#include "download/download_request.h"

namespace kestrion {

void pickTickers(DownloadRequest& request, bool listOpen, const QStringList& listSymbols, bool singleTicker,
                 int currentRow)
{
    const QStringList list = listSymbols; // may be request.symbols itself
    request.singleTicker = singleTicker;
    request.symbols.clear();
    if (!listOpen)
        request.nothing = NothingToFetch::NoList;
    else if (list.isEmpty())
        request.nothing = NothingToFetch::EmptyList;
    else if (singleTicker && (currentRow < 0 || currentRow >= list.size()))
        request.nothing = NothingToFetch::NoTicker;
    else {
        request.nothing = NothingToFetch::None;
        request.symbols = singleTicker ? QStringList{list.at(currentRow)} : list;
    }
}

} // namespace kestrion
