#include "download/download_request.h"

namespace kestrion {

void pickTickers(DownloadRequest& request, bool listOpen, const QStringList& listSymbols, bool singleTicker,
                 int currentRow)
{
    request.singleTicker = singleTicker;
    request.symbols.clear();
    if (!listOpen)
        request.nothing = NothingToFetch::NoList;
    else if (listSymbols.isEmpty())
        request.nothing = NothingToFetch::EmptyList;
    else if (singleTicker && (currentRow < 0 || currentRow >= listSymbols.size()))
        request.nothing = NothingToFetch::NoTicker;
    else {
        request.nothing = NothingToFetch::None;
        request.symbols = singleTicker ? QStringList{listSymbols.at(currentRow)} : listSymbols;
    }
}

} // namespace kestrion
