// SPDX-License-Identifier: MIT
// A small console program over Kulve32.cs: links a reader, reads its device
// number, writes a memory card and reads it back, runs DES, and makes one call
// of each other family: a CPU card APDU, an AT88SC1608 read, an e5550 block
// written and read back, a Mifare serial number and block, and the attendance
// terminal's clock; then the same reader again through a handle of its own
// (the API for several readers at once).
//
//   Example.exe PORT      PORT: the reader's device (/dev/ttyUSB0, \\.\COM3, a pty)
//
// It expects the reader to hold a memory card of type 1, an AT88SC1608 card,
// an e5550 transponder, a Mifare Classic card and an attendance terminal (as
// kulvesim --card 1 --at1608 SEED --e5550 --mifare UID --terminal does).
//
// Ends with "N passed, N failed"; exit status 0 when nothing failed.
using System;
using System.Linq;
using System.Runtime.InteropServices;
using Kulve;

static class Example
{
    static int passed, failed;

    static void Check(bool ok, string what)
    {
        if (ok) { ++passed; Console.WriteLine("ok      " + what); }
        else { ++failed; Console.WriteLine("FAILED  " + what); }
    }

    static void Expect(int result, string what)
    {
        Check(result == Kulve32.Ok, what + ": " + Kulve32.DescribeResult(result));
    }

    static string Hex(byte[] bytes)
    {
        return BitConverter.ToString(bytes).Replace("-", "");
    }

    static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: Example.exe PORT");
            return 2;
        }
        Console.WriteLine("library version " + Kulve32.DLLVER());

        // Every index but 0 leads nowhere, so nothing else can be opened.
        for (int index = 1; index < 10; ++index)
            Kulve32.SetComPortPath(index, "/nonexistent/kulve-example-port");
        Expect(Kulve32.SetComPortPath(0, args[0]), "port 0 is " + args[0]);
        int linked = Kulve32.LinkCom(0);
        Check(linked == 0, "link: " + (linked == 0 ? Kulve32.ComBaudRate() + " bit/s" : Kulve32.LinkErrorText()));
        if (linked != 0)
        {
            Console.WriteLine("{0} passed, {1} failed", passed, failed);
            return 1;
        }

        var number = new byte[Kulve32.DeviceNumberSize];
        Expect(Kulve32.GetDeviceNumber(number), "device number " + Hex(number));
        Check(number.Any(b => b != 0), "the device number is not all zeros");

        // A memory card of type 1 (no security code) in the reader.
        Expect(Kulve32.SelectCard(1), "select card type 1");
        Expect(Kulve32.PowerOn(), "power on");
        var written = Enumerable.Range(0, 100).Select(i => (byte)(i * 7 + 3)).ToArray();
        var copy = (byte[])written.Clone();
        Expect(Kulve32.WriteCard(Kulve32.CardMemoryArea, 1, 16, copy.Length, copy), "write 100 bytes at 0x110");
        var read = new byte[written.Length];
        Expect(Kulve32.ReadCard(Kulve32.CardMemoryArea, 1, 16, read.Length, read), "read them back");
        Check(read.SequenceEqual(written), "the bytes read are the bytes written");
        Check(Kulve32.ReadCard(Kulve32.CardMemoryArea, 255, 255, 2, read) == Kulve32.BadArgument,
              "a read past 64 KiB is refused");

        // DES: the classic worked example.
        var key = new byte[] { 0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1 };
        var plain = new byte[] { 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF };
        var cipher = new byte[8];
        var back = new byte[8];
        Expect(Kulve32.EnDesData(plain, key, cipher, plain.Length), "DES encipher " + Hex(cipher));
        Check(Hex(cipher) == "85E813540F0AB405", "the known DES answer");
        Expect(Kulve32.UnDesData(cipher, key, back, cipher.Length), "DES decipher");
        Check(back.SequenceEqual(plain), "deciphering gives the plain text back");

        Check(Kulve32.DescribeResult(0x66) == "link failure 'f': no answer to the start byte",
              "the library describes its results");

        Check(Marshal.SizeOf(typeof(KqTime)) == 28 && Marshal.SizeOf(typeof(KqDate)) == 3 &&
              Marshal.SizeOf(typeof(Rf5550InitRecord)) == 40 &&
              Marshal.SizeOf(typeof(ApduRequest)) == Kulve32.ApduRequestSize,
              "the structs are laid out as kulve32.h has them");
        CpuCard();
        At1608();
        E5550();
        Mifare();
        Terminal();

        Expect(Kulve32.UnLinkCom(), "unlink");
        Handles(args[0], written);
        Console.WriteLine("{0} passed, {1} failed", passed, failed);
        return failed == 0 ? 0 : 1;
    }

    static void CpuCard()
    {
        var atr = new byte[Kulve32.AtrBufferSize];
        Expect(Kulve32.CpuCardReset(atr), "CPU card reset: ATR " + Hex(Kulve32.CountedBytes(atr)));
        var application = new byte[] { 0xF0, 0x4B, 0x55, 0x4C, 0x56, 0x45, 0x31 };
        var select = ApduRequest.Create(0x00, 0xA4, 0x04, 0x00, application);
        var response = new byte[Kulve32.ApduResponseSize];
        int sw = Kulve32.ProCpuCardCmd(select.ToArray(), response);
        Check(sw == 0x9000, string.Format("SELECT the application by name: SW {0:X4}, {1} bytes of FCI ({2})",
                                          sw, response[0], Kulve32.DescribeResult(sw)));
    }

    static void At1608()
    {
        var identification = new byte[8];
        Expect(Kulve32.AT1608_Read(8, 0, identification.Length, identification),
               "AT88SC1608 identification " + Hex(identification));
        Check(identification[0] == 0x4B, "the identification starts with 4B");
    }

    static void E5550()
    {
        var password = new byte[Kulve32.E5550BlockSize];
        var record = Rf5550InitRecord.Create(false, false, 7);
        Expect(Kulve32.RF5550_Init(ref record, password, 0), "e5550 init: every block readable, no password");
        var block = new byte[] { 0xCA, 0xFE, 0x55, 0x50 };
        Expect(Kulve32.RF5550_WriteBlk(1, password, (byte[])block.Clone(), 0), "e5550 block 1 written");
        var read = new byte[Kulve32.E5550BlockSize];
        Expect(Kulve32.RF5550_ReadBlk(1, read), "e5550 block 1 read: " + Hex(read));
        Check(read.SequenceEqual(block), "the transponder keeps the block");
    }

    static void Mifare()
    {
        var serial = new byte[Kulve32.MifareValueSize];
        Expect(Kulve32.RFMifare_GetSnr(serial), "Mifare serial number " + Hex(serial));
        var data = new byte[Kulve32.MifareBlockSize];
        Expect(Kulve32.RFMifare_ReadBlock(0, BitConverter.ToUInt32(serial, 0), data), "Mifare block 0: " + Hex(data));
        Check(data.Take(4).SequenceEqual(serial), "block 0 begins with the serial number");
        // The whole card, the transport key tried on every sector.
        var keys = new byte[] { Kulve32.MifareEverySector, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF };
        var image = new byte[Kulve32.MifareImageSize(16)];
        var status = new byte[16];
        Expect(Kulve32.MifareDumpCard(16, keys, keys.Length, image, image.Length, status, status.Length),
               "Mifare card dump, " + status.Count(s => s == 0) + " of 16 sectors read");
        Check(image.Take(4).SequenceEqual(serial), "the dump begins with the serial number");
    }

    static void Terminal()
    {
        var clock = new KqTime();
        Expect(Kulve32.KQ_GetTime(ref clock), string.Format("terminal clock {0:D4}-{1:D2}-{2:D2} {3:D2}:{4:D2}",
                                                            2000 + clock.Year, clock.Month, clock.Day, clock.Hour, clock.Minute));
        var today = new KqDate { Year = (byte)clock.Year, Month = (byte)clock.Month, Day = (byte)clock.Day };
        KqDate back;
        Expect(Kulve32.KQ_Datebyte(Kulve32.KQ_Daysbyte(ref today), out back), "day number and back");
        Check(back.Year == today.Year && back.Month == today.Month && back.Day == today.Day, "the same date");
    }

    // The reader through a handle: every buffer goes with its size, and a
    // size below the documented minimum is refused with nothing sent.
    static void Handles(string port, byte[] written)
    {
        ReaderHandle reader;
        int opened = KulveHandles.kulve_open(port, out reader);
        using (reader)
        {
            Check(opened == 0, "handle: " + (opened == 0 ? KulveHandles.kulve_reader_baud_rate(reader) + " bit/s"
                                                           : KulveHandles.LinkErrorText(reader)));
            if (opened != 0) return;
            var number = new byte[Kulve32.DeviceNumberSize];
            Check(KulveHandles.kulve_reader_device_number(reader, number, number.Length - 1) == Kulve32.BadArgument &&
                  KulveHandles.kulve_result_origin(reader, Kulve32.BadArgument) == KulveHandles.OriginLibrary,
                  "handle: a buffer one byte short is refused by the library");
            Expect(KulveHandles.kulve_reader_device_number(reader, number, number.Length), "handle: device number " + Hex(number));
            Expect(KulveHandles.kulve_reader_select_card(reader, 1), "handle: select card type 1");
            var read = new byte[written.Length];
            Expect(KulveHandles.kulve_memcard_read(reader, Kulve32.CardMemoryArea, 1, 16, read.Length, read, read.Length),
                   "handle: read the 100 bytes again");
            Check(read.SequenceEqual(written), "handle: the bytes written before");
            var serial = new byte[Kulve32.MifareValueSize];
            Expect(KulveHandles.kulve_mifare_serial(reader, serial, serial.Length), "handle: Mifare serial number " + Hex(serial));
            Check(KulveHandles.kulve_link_os_error(reader) == 0, "handle: no system error behind any link failure");
        }
        Check(reader.IsClosed, "handle: closed when disposed");
    }
}
