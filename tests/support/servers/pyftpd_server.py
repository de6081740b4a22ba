"""pyftpdlib on 127.0.0.1 only, for the tests (PyFtpdServer, the window tests).
Exits with 77 when pyftpdlib is missing, so that the test skips instead of failing.
"""
import argparse
import logging
import sys

try:
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
except ImportError as err:
    sys.stderr.write("pyftpdlib missing: %s\n" % err)
    sys.exit(77)

PERMS = "elradfmwMT"


def main():
    parser = argparse.ArgumentParser()
    for name in ("--root", "--user", "--password", "--log"):
        parser.add_argument(name, required=True)
    for name in ("--port", "--pasv-min", "--pasv-max"):
        parser.add_argument(name, type=int, required=True)
    parser.add_argument("--no-mlsd", action="store_true")
    parser.add_argument("--max-connections", type=int, default=0)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    parser.add_argument("--rate-limit", type=int, default=0, help="bytes a second a transfer may move")
    args = parser.parse_args()

    logging.basicConfig(filename=args.log, level=logging.DEBUG,
                        format="%(asctime)s %(levelname)s %(message)s")

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm=PERMS)

    # TLS_FTPHandler needs pyOpenSSL (python3-openssl): plain servers start without it.
    Base = FTPHandler
    if args.tls_cert:
        try:
            from pyftpdlib.handlers import TLS_FTPHandler as Base
        except ImportError as err:
            sys.stderr.write("pyftpdlib's TLS handler missing: %s\n" % err)
            sys.exit(77)

    class Handler(Base):
        proto_cmds = {k: v for k, v in Base.proto_cmds.items() if not (args.no_mlsd and k in ("MLSD", "MLST"))}

    Handler.authorizer = authorizer
    if args.rate_limit > 0:
        from pyftpdlib.handlers import ThrottledDTPHandler

        class Throttled(ThrottledDTPHandler):
            read_limit = write_limit = args.rate_limit
        Handler.dtp_handler = Throttled
    Handler.passive_ports = range(args.pasv_min, args.pasv_max + 1)
    # No pause after a wrong password: tests try bad logins on purpose.
    Handler.auth_failed_timeout = 0
    if args.tls_cert:
        Handler.certfile = args.tls_cert
        Handler.keyfile = args.tls_key
        Handler.tls_control_required = True
        Handler.tls_data_required = True

    server = FTPServer(("127.0.0.1", args.port), Handler)
    if args.max_connections > 0:
        # All clients come from 127.0.0.1: the per-address limit counts control
        # connections only (max_cons would count data channels too).
        server.max_cons_per_ip = args.max_connections
    server.serve_forever()


if __name__ == "__main__":
    main()
