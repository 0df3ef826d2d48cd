// SPDX-License-Identifier: MIT
// A small console program over Kulve32.cs: links a reader, reads its device
// number, writes a memory card and reads it back, and runs DES.
//
//   Example.exe PORT      PORT: the reader's device (/dev/ttyUSB0, \\.\COM3, a pty)
//
// Ends with "N passed, N failed"; exit status 0 when nothing failed.
using System;
using System.Linq;
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
        Expect(Kulve32.UnLinkCom(), "unlink");
        Console.WriteLine("{0} passed, {1} failed", passed, failed);
        return failed == 0 ? 0 : 1;
    }
}
