#!/usr/bin/env python3
"""A UDP relay that stands for a network with delay, jitter and loss (this kernel has no netem).

    udp_relay.py LISTEN_ADDRESS TARGET_ADDRESS PORT[,PORT...] DELAY_MS JITTER_MS LOSS

Datagrams to LISTEN_ADDRESS:PORT go on to TARGET_ADDRESS:PORT from a socket of their own per
sender, so that answers find their way back; each way is held DELAY_MS +- JITTER_MS (uniform)
and dropped with probability LOSS.
"""
import asyncio
import random
import sys


class Leg(asyncio.DatagramProtocol):
    def __init__(self, deliver):
        self.deliver = deliver
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport

    def datagram_received(self, data, address):
        self.deliver(data, address)


def main():
    listen, target, ports, delay, jitter, loss = sys.argv[1:7]
    delay, jitter, loss = float(delay) / 1000, float(jitter) / 1000, float(loss)
    loop = asyncio.new_event_loop()

    def later(send, data):
        if random.random() < loss:
            return
        loop.call_later(max(0.0, delay + random.uniform(-jitter, jitter)), send, data)

    async def relay(port):
        senders = {}
        front = None

        def from_sender(data, sender):
            if sender not in senders:
                def back(reply, _):
                    later(lambda d: front.transport.sendto(d, sender), reply)
                senders[sender] = loop.create_task(
                    loop.create_datagram_endpoint(lambda: Leg(back), remote_addr=(target, port)))
            task = senders[sender]

            async def forward():
                transport, _ = await task
                later(transport.sendto, data)
            loop.create_task(forward())

        front, _ = await loop.create_datagram_endpoint(lambda: Leg(from_sender), local_addr=(listen, port))
        front = front.get_protocol()

    for port in ports.split(','):
        loop.run_until_complete(relay(int(port)))
    loop.run_forever()


if __name__ == '__main__':
    main()
