#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets whose input is read through
FuzzedDataProvider (numbers from the end, strings from the front), so the
seeds say in words what they start from. Run from the repository root:
    python3 fuzz/make_seeds.py
"""
import os


class Input:
    """Builds an input in the order the target consumes it."""

    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in the order consumed (read from the end)

    def int(self, lo, hi, value):
        span, off = hi - lo, value - lo
        nbytes = 0
        while nbytes < 8 and (span >> (8 * nbytes)) > 0:
            nbytes += 1
        for k in reversed(range(nbytes)):  # most significant byte first
            self.back.append((off >> (8 * k)) & 0xFF)
        return self

    def bool(self, value):
        return self.int(0, 255, 1 if value else 0)

    def string(self, text):
        if isinstance(text, str):
            text = text.encode('latin-1')
        self.front += text.replace(b'\\', b'\\\\') + b'\\x'
        return self

    def rest(self, data):
        self.front += data
        return self

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


def checksum(text):
    x = 0
    for c in text.encode('latin-1'):
        x ^= c
    return chr(0x30 | (x >> 4)) + chr(0x30 | (x & 15))


def write(target, name, data):
    folder = os.path.join('fuzz', 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


# ---- packet_matcher: packets (start, end, strings, size, time-out, flags),
# the handler plan, the reads and the stream.
def packet(inp, start_string=None, end=0, end_string='', size=0, timeout=0, ignore_case=True,
           include=True):
    inp.bool(start_string is not None).int(0, 3, end)
    inp.string(start_string or '').string(end_string)
    inp.int(-1, 40, size).int(0, 30, timeout)
    inp.bool(ignore_case).bool(include).bool(True).bool(True)


def matcher_seed(name, packets, stream, reads):
    inp = Input().int(1, 3, len(packets))
    for p in packets:
        packet(inp, **p)
    for _ in range(32):
        inp.int(0, 255, 0)
    inp.int(1, 24, len(reads))
    for r in reads:
        inp.int(0, 64, r)
    inp.string(stream)
    write('packet_matcher', name, inp.bytes())


matcher_seed('reply_packet_cr', [dict(end=1, end_string='\r', timeout=5)],
             '0100000120000023\r030\r\r', [1, 3, 7, 2])
matcher_seed('stx_etx_wildcard', [dict(start_string='\x02?', end=1, end_string='\x03', include=False),
                                   dict(end=2, size=4)],
             'junk\x02ABCDEF\x03\x02x\\\x03tail', [2, 5, 1, 9])
matcher_seed('start_and_size', [dict(start_string='ok', end=3, end_string='!', size=6, ignore_case=False),
                                dict(start_string='O?', end=1, end_string='K')],
             'xxOKabcdef!okabc!OK1234K', [0, 4, 4, 4])


# ---- reply_decoders: logging, handshake, then per command the two flags,
# the command, its arguments and the reply (mode 3..7: with a good checksum).
def reply(inp, text, mode=3):
    inp.int(0, 7, mode)
    if mode >= 2:
        inp.string(text)


def decoder_seed(name, steps, logging=False):
    inp = Input().bool(logging).bool(False)
    for command, args, text, mode in steps:
        inp.bool(False).bool(False).int(0, 13, command)
        args(inp)
        reply(inp, text, mode)
    write('reply_decoders', name, inp.bytes())


def none(inp):
    pass


def dispense_two_from_cassette_two(inp):
    for n in range(8):
        inp.bool(n != 1)
        if n == 1:
            inp.int(-1, 1000, 2)
    inp.bool(True).int(48, 57, 48)


decoder_seed('cassette_ids_and_status', [
    (1, none, '0' + '1' + '0' + '0' + '10000' + '2' + '0' + '10001', 3),  # cassette ids
    (2, none, '00' + '10' + '012' + '20' + '500', 3),                      # last status
    (10, none, '002024051707', 3),                                          # program id
    (12, none, '0006000' + '0' * 97, 3),                                   # check status
])
decoder_seed('dispense_and_faults', [
    (0, dispense_two_from_cassette_two, '00002', 3),
    (5, none, '0ABCDEF', 2),        # reject trace, checksum missing
    (6, lambda i: i.int(-1, 1000, 12).string(''), '0123', 0),   # read data, time-out
    (11, lambda i: i.int(-2, 10, -1), '0selftest', 1),          # self-test, no answer
    (13, lambda i: i.string('Q').int(0, 20, 5), '7', 3),        # typed command, status 7
], logging=True)


# ---- tdl_script: the script text; from the end the simulator's faults, the
# open cassettes, the answers of the first dialogs and the number of runs.
IGNORE, ABORT, YES, NO = range(4)


def tdl_seed(name, text, faults=0, cassettes=0x1E, answers=(), runs=1):
    code = 0
    for k, a in enumerate(answers):
        code |= a << (2 * k)
    inp = Input().int(0, 255, faults).int(0, 255, cassettes).int(0, 2**32 - 1, code).int(1, 2, runs)
    write('tdl_script', name, inp.rest(text.encode('latin-1')).bytes())


tdl_seed('nested_loops_trace', """// nested loops with tracing
TRACE ON
RESET
LOOP 2
  #
LOOP 2
DISPENSE 1 1 0 0
DELIVER
ENDLOOP
CHECK_THROAT 3
ENDLOOP
TRACE OFF
READ_CASS_NR
""", runs=2)
tdl_seed('soft_break_empty', """SOFT_BREAK_ON_EMPTY
SET_REJECT_MSG_ON
LOOP 3
DISPENSE 0 0 0 0 0 0 0 5
REJECT
ENDLOOP
SET_REJECT_MSG_OFF
""", cassettes=0x02, answers=(YES, IGNORE, NO))
tdl_seed('replies_and_logs', """LOGFILE ON
LOG starting
STR_CMD A
STOP_IF_REPLY_NOT_EQUAL 002024051707
POLL Q
READ_PROGRAM_ID
SEND_SELFTESTDATA_NC 3
OPEN_CASS 2
CLOSE_CASS 2
LOGFILE sub/run.log
LOGFILE OFF
SHOW_MESSAGE done
""", faults=0x12, answers=(IGNORE, IGNORE))
tdl_seed('syntax_and_delays', """IGNORE_ILLEGAL_COMMAND
STR_CMD ZZ
STOP_IF_ILLEGAL_COMMAND
bogus statement
IGNORE_SYNTAX
lower case
CHANGE_TELLER 7
DELAY_SEC 2
DELAY_MSEC 1500
ENDLOOP
LOOP 2
% info
""", faults=0x41, answers=(IGNORE,))
for demo in sorted(os.listdir('demo')):
    if demo.endswith('.tdl'):
        with open(os.path.join('demo', demo), encoding='latin-1') as f:
            tdl_seed(demo[:-4], f.read())


# ---- sim_commands: the simulator's set-up, then pieces of bytes, each sent
# as it stands or framed with its checksum.
def sim_seed(name, steps, feeders=4, long_id=True, reject_every=0):
    inp = Input().int(0, 8, feeders).bool(long_id).int(0, 5, reject_every)
    for text, framed in steps:
        inp.string(text).bool(framed)
    write('sim_commands', name, inp.bytes())


sim_seed('command_set', [(c, True) for c in
                         ['0', '838', '5', '6', '110020000', '3', ':', ':', ':', '9', 'A', 'Q',
                          'RD/012', 'WD/012/abc', 'RD/9101', 'G3', 'GA', 'K', '731']])
sim_seed('typed_by_hand', [('53', False), ('5\r', False), ('Q5', False), ('1\r\n', False),
                           ('030\r', False), ('\x00\x7f\r', False), ('11000', True)],
         feeders=2, long_id=False, reject_every=2)


# ---- result_decoders: per step the decoder (0..15), its payload, then what
# that decoder takes besides (feeder lists, table kind, values).
INT_MIN, INT_MAX = -2**31, 2**31 - 1


def result_seed(name, steps):
    inp = Input()
    for which, payload, extra in steps:
        inp.int(0, 15, which).string(payload)
        extra(inp)
    write('result_decoders', name, inp.bytes())


def nothing(inp):
    pass


def feeders(records):
    def put(inp):
        inp.int(0, 10, len(records))
        for number, status, cass_id, count, width in records:
            inp.int(-1, 10, number).string(status).string(cass_id)
            inp.int(INT_MIN, INT_MAX, count).int(INT_MIN, INT_MAX, width)
    return put


def table(reject, base):
    return lambda inp: inp.bool(reject).int(-1000, 1000, base)


def texts(a, b, c):
    return lambda inp: inp.int(INT_MIN, INT_MAX, a).int(INT_MIN, INT_MAX, b).int(INT_MIN, INT_MAX, c)


def compose(value, variant):
    return lambda inp: inp.string(value).string(variant)


STATUS_CHECK = ('0000012345' '1150300001' '2000RC0002' '30000CASS3' '4J51001234' '5166054321'
                '60000     ' '70000     ' '80000     ' '00' '01' '02' '99' '00' '03' '00')
result_seed('status_check_and_texts', [
    (11, STATUS_CHECK, texts(351, 300, 5)),
    (11, STATUS_CHECK[:50], texts(683, 670, 13)),
])
result_seed('read_data_tables', [
    (5, '/3A0054F012', table(False, 0)),
    (5, '/02003240010000725007', table(True, 0)),
    (3, '/CMC12340102SPCV-1.2.3.4NQ', nothing),
    (4, 'xEUR---SEK', nothing),
    (6, '/0000012345', lambda inp: inp.int(-3, 10, 5)),
    (12, '/00042', lambda inp: inp.int(-1, 1000, 313)),
])
result_seed('cassettes_and_traces', [
    (0, '', feeders([(0, 'Ok', 'RV', 3, 0), (1, 'Low level', 'CASS1', 120, 152), (2, 'Ok', '0', 0, 0)])),
    (1, '12034', nothing),
    (1, '1200', nothing),
    (2, '/EUR052 085120SEK102A070140???????000000', nothing),
])
result_seed('self_test_pages', [
    (7, '0120' 'EUR101 0503110052310x' 'XX!!!!!0503110052310x' 'SEK102A11122233344455', nothing),
    (8, '01-1010-100' '5621' '070' '140' 'EUR101 ', lambda inp: inp.bool(False)),
    (8, '011' '00011111' '07' '09' '3' '2' '068' '133' 'SEK102A', lambda inp: inp.bool(True)),
    (9, '102310-40' '12' '31' '2' '6' '1000011', nothing),
    (10, '01045', nothing),
    (15, '-', lambda inp: inp.bool(True).bool(True).bool(False).int(INT_MIN, INT_MAX, 3).int(-2, 12, -1)),
])
result_seed('denominations', [
    (13, 'EUR052', nothing),
    (13, 'SEK 100 A', nothing),
    (14, 'eur', compose('500', 'a')),
    (14, 'EUR', compose('255', '')),
    (13, 'USD109', nothing),
])
