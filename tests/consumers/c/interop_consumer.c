/* A C program built against an installed libversit_interop through
 * pkg-config: a card with an unindented quoted-printable continuation
 * read tolerantly, and the cards it read destroyed by either library. */
#include <stdio.h>
#include <string.h>
#include <versit_interop.h>

int main(void) {
    static const char text[] = "BEGIN:VCARD\r\nNOTE;ENCODING=QUOTED-PRINTABLE:one=\r\ntwo\r\n"
                               "END:VCARD\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n";
    VCardContext *context = NULL;
    VI_TolerantReader *reader = NULL;
    vComponent *card = NULL;
    vComponent *second = NULL;
    VI_ReadCounts counts;
    int status = 1;
    if (VCARD_createContext(&context) != 0) return 1;
    if (VI_tolerantReaderCreate(&reader, text, strlen(text), NULL, NULL) == 0 &&
        VI_readCardTolerantly(reader, context, &card) == 0 &&
        VI_readCardTolerantly(reader, context, &second) == 0) {
        VI_tolerantReaderCounts(reader, &counts);
        status = counts.read == 2 && counts.repaired == 1 ? 0 : 1;
        printf("%s\n", VI_resultName(VCARD_ERR_NO_CARD));
    }
    if (card != NULL && VCARD_destroyCard(context, &card) != 0) status = 1;
    if (second != NULL && (VI_destroyCard(context, &second) != 0 || second != NULL)) status = 1;
    VI_tolerantReaderDestroy(&reader);
    VCARD_destroyContext(&context);
    return status;
}
