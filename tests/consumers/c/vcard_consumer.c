/* A C program that uses only vCard functions, built with nothing but
 * `pkg-config --cflags --libs versit`: libversit brings the client
 * library's stand-in it stands on by itself. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <versit_vcard.h>

int main(void) {
    static const char text[] = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Lovelace;Ada\r\nFN:Ada Lovelace\r\n"
                               "END:VCARD\r\n";
    VCardContext *context = NULL;
    vComponent *card = NULL;
    const char *rest = NULL;
    int32_t remaining = 0;
    char *values[1];
    int32_t sizes[1];
    int32_t count = 0;
    char *exported = NULL;
    int status = 1;
    if (VCARD_createContext(&context) != 0) return 1;
    if (VCARD_importObjectFromBuffer(context, &card, text, (int32_t)strlen(text), &rest,
                                     &remaining) == 0 &&
        VCARD_getPropertyValue(context, card, VCARD_PROP_FN, values, sizes, 1, &count) == 0 &&
        count == 1 && strcmp(values[0], "Ada Lovelace") == 0 &&
        VCARD_exportObjectToBuffer(context, card, &exported) == 0 &&
        strstr(exported, "FN:Ada Lovelace\r\n") != NULL) {
        fputs(exported, stdout);
        status = 0;
    }
    free(exported);
    VCARD_destroyCard(context, &card);
    VCARD_destroyContext(&context);
    return status;
}
