#pragma once
// The web-service library's export. Texts are UTF-8.
//
// CallWebServiceFx posts the request text (as "text/xml; charset=utf-8", the operation in the header
// "SOAPAction") to the address and writes the body of the answer into resultFile. It answers 1 when the
// answer file was written; otherwise 0, with the reason in errorText (a buffer of
// kWebServiceErrorSize bytes, always terminated). A missing answer within the time-out, a transport
// failure and an HTTP error status are failures. The time-out is 30 seconds, or the number of seconds
// in the environment variable TARNIX_WEBSERVICE_TIMEOUT.
//
// The caller's process must have a Qt application object; the call runs a local event loop.

constexpr int kWebServiceErrorSize = 256;

extern "C" {
using TCallWebServiceFx = int (*)(const char* address, const char* operation, const char* request,
                                  const char* resultFile, char* errorText);
__attribute__((visibility("default"))) int CallWebServiceFx(const char* address, const char* operation,
                                                            const char* request, const char* resultFile,
                                                            char* errorText);
}
