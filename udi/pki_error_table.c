#include "pki_error_table.h"

#include "format.h"

int is_pki_error_code(uint32_t code)
{
    return (code >> 16) == 0x8009u;
}

const char *pki_error_fixed_text(uint32_t code)
{
    switch (code) {
    case 0x800706D9u: return "This system is missing required cryptographic services.";
    case 0x80070020u: return "Sharing violation - Some data handles to this file are still open.";
    case 0x80090001u: return "Bad UID.";
    case 0x80090006u: return "This system's cryptographic DLL has been tampered with.";
    case 0x80090009u:
    case 0x8009000Fu:
    case 0x80090014u:
    case 0x8009001Fu: return "Invalid parameter.";
    case 0x8009000Eu: return "Out of memory.";
    case 0x80090016u: return "The key container could not be opened.";
    case 0x80090019u: return "The requested provider does not exist.";
    case 0x8009001Au: return "The requested key container is corrupted.";
    case 0x8009001Cu:
    case 0x8009001Du:
    case 0x8009001Eu: return "This system's cryptographic DLL can not be loaded.";
    case 0x80091001u: return "An error occurred while performing an operation on a cryptographic message.";
    case 0x80091002u: return "Unknown cryptographic algorithm.";
    case 0x80091004u: return "Invalid cryptographic message type.";
    case 0x80091007u: return "The hash value is not correct";
    case 0x8009100Du: return "Invalid issuer and/or serial number.";
    case 0x80092001u: return "The length specified for the output data was insufficient.";
    case 0x80092002u: return "An error occurred during encode or decode operation.";
    case 0x80092003u: return "An error occurred while reading or writing to a file.";
    case 0x80092004u: return "Cannot find object or property.";
    case 0x80092005u: return "The object or property already exists.";
    case 0x80092006u: return "No provider was specified for the store or object.";
    case 0x80092008u: return "The previous certificate or CRL context was deleted.";
    case 0x80092009u: return "Cannot find the requested object.";
    case 0x8009200Au:
    case 0x8009200Bu:
    case 0x8009200Cu: return "Private key or certificate issue";
    case 0x8009200Du: return "Not a cryptographic message.";
    case 0x8009200Eu: return "The signed cryptographic message does not have a signer for the specified signer index.";
    case 0x80092010u: return "The certificate is revoked.";
    case 0x80092011u:
    case 0x80092012u:
    case 0x80092013u:
    case 0x80092014u: return "Cannot check certificate revocation.";
    case 0x80092020u:
    case 0x80092021u:
    case 0x80092022u:
    case 0x80092023u:
    case 0x80092024u: return "Invalid string.";
    case 0x80092026u: return "The cryptographic operation failed due to a local security option setting.";
    case 0x80092028u:
    case 0x80092029u: return "Cannot complete usage check.";
    case 0x8009202Bu: return "None of the signers of the cryptographic message or certificate trust list is trusted.";
    default:          return NULL;
    }
}

char *format_unknown_pki_error(char *buffer, size_t size, uint32_t code)
{
    format_truncated(buffer, size, "Unknown PKI error 0x%08X", (unsigned)code);
    return buffer;
}
