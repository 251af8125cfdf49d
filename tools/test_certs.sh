# Certificates of a test run or a demo, made afresh with openssl: a test
# authority (ca.pem, and ca.der for the Wine prefix's trusted roots), a server
# certificate it signs for the test hosts, and the certificates a client must
# refuse: one for another host name, an expired one (both by the same
# authority), one signed by itself and one from an authority nobody trusts
# that the server does not send along. Three more carry the address of the
# authority's revocation list (test.crl, served by the tests' HTTP server as
# crl.korvel.test): one it has revoked, one it has not, and one whose list
# lies at an address where nothing answers. Source this file and call
# certs_make DIR.

certs_make() {
    local dir=$1
    # The list is served by the HTTP server of the tests; nothing listens on
    # port 9. Each set of certificates has addresses of its own: Windows
    # keeps a list it fetched until the list's next update, and a list of an
    # earlier set (another authority) would not fit this one.
    local set crl_url crl_nowhere
    set=$(date +%s)-$$-$RANDOM
    crl_url=http://crl.korvel.test:8080/$set/test.crl
    crl_nowhere=http://crl.korvel.test:9/$set/test.crl
    mkdir -p "$dir"
    (
        set -e
        cd "$dir"
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 \
            -subj "/CN=Korvel Test Authority" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
        openssl x509 -in ca.pem -outform DER -out ca.der
        # name SAN [days]: a leaf certificate signed by the test authority.
        leaf() {
            printf 'subjectAltName=%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$2" >"$1.ext"
            openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
            openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 30 \
                -extfile "$1.ext" -out "$1.pem" 2>/dev/null
        }
        leaf server "DNS:pop3.korvel.test,DNS:pop3.delta.test,DNS:imap.iota.test,DNS:lambda.test,DNS:fakes.test,DNS:fake.test,DNS:localhost"
        leaf wrongname "DNS:other.test"
        # Expired: valid for a year that is long over (openssl ca sets dates).
        mkdir -p ca-db
        : >ca-db/index.txt
        printf '1000\n' >ca-db/serial
        cat >ca-db/ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = ca-db/index.txt
serial = ca-db/serial
new_certs_dir = ca-db
default_md = sha256
policy = any
copy_extensions = none
[any]
commonName = supplied
[leaf]
subjectAltName = DNS:fakes.test
extendedKeyUsage = serverAuth
basicConstraints = CA:FALSE
[listed]
subjectAltName = DNS:fakes.test,DNS:localhost
extendedKeyUsage = serverAuth
basicConstraints = CA:FALSE
crlDistributionPoints = URI:$crl_url
[unlisted]
subjectAltName = DNS:fakes.test,DNS:localhost
extendedKeyUsage = serverAuth
basicConstraints = CA:FALSE
crlDistributionPoints = URI:$crl_nowhere
CNF
        openssl req -newkey rsa:2048 -nodes -keyout expired.key -out expired.csr -subj "/CN=expired" 2>/dev/null
        openssl ca -batch -config ca-db/ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr -out expired.pem \
            -startdate 20200101000000Z -enddate 20210101000000Z -extensions leaf -notext 2>/dev/null
        # name SECTION: a leaf with the revocation list's address, by openssl ca.
        listed() {
            openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
            openssl ca -batch -config ca-db/ca.cnf -cert ca.pem -keyfile ca.key -in "$1.csr" -out "$1.pem" \
                -days 30 -extensions "$2" -notext 2>/dev/null
        }
        listed revoked listed
        listed crlgood listed
        listed crlgone unlisted
        openssl ca -config ca-db/ca.cnf -cert ca.pem -keyfile ca.key -revoke revoked.pem 2>/dev/null
        openssl ca -config ca-db/ca.cnf -cert ca.pem -keyfile ca.key -gencrl -crldays 30 -out test-crl.pem 2>/dev/null
        openssl crl -in test-crl.pem -outform DER -out test.crl
        # An authority nobody trusts, whose leaf comes without it: the chain
        # ends short of any root.
        openssl req -x509 -newkey rsa:2048 -nodes -keyout stranger.key -out stranger.pem -days 30 \
            -subj "/CN=Korvel Stranger Authority" -addext "basicConstraints=critical,CA:TRUE" \
            -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
        printf 'subjectAltName=DNS:fakes.test\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' >leaf.ext
        openssl req -newkey rsa:2048 -nodes -keyout untrusted.key -out untrusted.csr -subj "/CN=untrusted" 2>/dev/null
        openssl x509 -req -in untrusted.csr -CA stranger.pem -CAkey stranger.key -CAcreateserial -days 30 \
            -extfile leaf.ext -out untrusted.pem 2>/dev/null
        # Unknown authority: signed by itself.
        openssl req -x509 -newkey rsa:2048 -nodes -keyout unknown.key -out unknown.pem -days 30 \
            -subj "/CN=fakes.test" -addext "subjectAltName=DNS:fakes.test" 2>/dev/null
        rm -f ./*.csr ./*.ext
    )
}
