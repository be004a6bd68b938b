#include "net/TestCertificates.h"

#include <cstdlib>
#include <fstream>

namespace quorvel::test {

bool MakeTestCertificates(const std::string& folder) {
    std::ofstream(folder + "/server.ext")
        << "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
           "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n";
    const std::string f = "'" + folder + "'";
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string script =
        "cd " + f + " && openssl req -x509" + ec +
        " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Quorvel test authority' && "
        "openssl req" +
        ec +
        " -keyout server.key -out server.csr -subj '/CN=127.0.0.1' && "
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
        "-out server.pem -days 2 -extfile server.ext";
    return std::system(("(" + script + ") >/dev/null 2>&1").c_str()) == 0;
}

} // namespace quorvel::test
