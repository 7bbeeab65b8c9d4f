#!/usr/bin/env python3
"""Sends one Print-Job of a file to a Printer Application slowly: the IPP request and the
document over SECONDS, in small pieces, as a slow client on a poor network would. Prints the
answer's status code (hex) and the job-id it gives (0 when none).
Usage: trickle.py HOST PORT RESOURCE FILE FORMAT SECONDS"""
import socket
import struct
import sys
import time


def attribute(tag, name, value):
    data = value.encode() if isinstance(value, str) else value
    return struct.pack(">BH", tag, len(name)) + name.encode() + struct.pack(">H", len(data)) + data


def request(uri, document_format):
    return (struct.pack(">BBHI", 2, 0, 0x0002, 1) + b"\x01"
            + attribute(0x47, "attributes-charset", "utf-8")
            + attribute(0x48, "attributes-natural-language", "en")
            + attribute(0x45, "printer-uri", uri)
            + attribute(0x42, "requesting-user-name", "trickle")
            + attribute(0x49, "document-format", document_format)
            + b"\x03")


def job_id(answer):
    at = answer.find(b"\x00\x06job-id\x00\x04")
    return struct.unpack(">i", answer[at + 10:at + 14])[0] if at >= 0 else 0


def main():
    host, port, resource, path, document_format, seconds = sys.argv[1:7]
    body = request(f"ipp://{host}:{port}{resource}", document_format) + open(path, "rb").read()
    head = (f"POST {resource} HTTP/1.1\r\nHost: {host}:{port}\r\nContent-Type: application/ipp\r\n"
            f"Content-Length: {len(body)}\r\n\r\n").encode()
    connection = socket.create_connection((host, int(port)), timeout=120)
    connection.sendall(head)
    pieces = 200
    size = (len(body) + pieces - 1) // pieces
    for start in range(0, len(body), size):
        connection.sendall(body[start:start + size])
        time.sleep(float(seconds) / pieces)
    stream = connection.makefile("rb")
    lengths = []
    while (line := stream.readline()) not in (b"\r\n", b""):
        if line.lower().startswith(b"content-length:"):
            lengths.append(line.split(b":", 1)[1].strip())
    if lengths:
        ipp = stream.read(int(lengths[0]))
    else:  # chunked
        ipp = b""
        while (size := int(stream.readline().split(b";")[0], 16)) > 0:
            ipp += stream.read(size)
            stream.readline()
    status = struct.unpack(">H", ipp[2:4])[0] if len(ipp) >= 4 else 0xFFFF
    print(f"{status:04x} {job_id(ipp)}")


main()
