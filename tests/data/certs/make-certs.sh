#!/bin/sh
# Regenerates the certificates of the loopback fixture server:
#   ca.pem / ca.key           the test certificate authority the tests trust
#   server.pem / server.key   127.0.0.1 and localhost, signed by the test CA
#   untrusted.pem / untrusted.key  self-signed, for 127.0.0.1 and localhost, trusted by no one
# Run it from this folder. Validity is 100 years so the files never need renewing.
set -eu
days=36500
san="subjectAltName=IP:127.0.0.1,DNS:localhost"

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days "$days" \
    -subj "/CN=Varnelle Test CA" -keyout ca.key -out ca.pem \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"

openssl req -new -newkey rsa:2048 -nodes -sha256 -subj "/CN=127.0.0.1" \
    -keyout server.key -out server.csr
printf '%s\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' \
    "$san" > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -sha256 \
    -days "$days" -extfile server.ext -out server.pem
rm -f server.csr server.ext ca.srl

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days "$days" \
    -subj "/CN=127.0.0.1" -keyout untrusted.key -out untrusted.pem -addext "$san"
