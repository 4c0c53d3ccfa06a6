// KContacts as a whole process, for the side-by-side run; only its public
// headers are used:
//   peer_kcontacts parse|vcard4 FILE
// parse: VCardConverter::parseVCards of the whole text into addressees;
// vcard4: that and exportVCards as vCard 4.0 (the peer of
// `versit convert --to vcard4`).
#include <KContacts/VCardConverter>
#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "peer_common.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: peer_kcontacts parse|vcard4 FILE\n");
        return 2;
    }
    const bool write = std::strcmp(argv[1], "vcard4") == 0;
    if (!write && std::strcmp(argv[1], "parse") != 0) {
        std::fprintf(stderr, "peer_kcontacts: unknown mode %s\n", argv[1]);
        return 2;
    }
    size_t size = 0;
    char *text = peerLoad(argv[2], &size);
    // Qt's own buffer, filled before the clock starts like everyone's.
    const QByteArray data(text, static_cast<int>(size));
    peerRelease(text, size);
    const double start = peerNow();
    KContacts::VCardConverter converter;
    const KContacts::Addressee::List cards = converter.parseVCards(data);
    qsizetype written = 0;
    if (write) written = converter.exportVCards(cards, KContacts::VCardConverter::v4_0).size();
    const double seconds = peerNow() - start;
    if (write && written == 0) {
        std::fprintf(stderr, "peer_kcontacts: nothing written\n");
        return 1;
    }
    peerReport(static_cast<unsigned long long>(cards.size()), seconds,
               write ? "parseVCards and exportVCards v4_0" : "parseVCards");
    return 0;
}
