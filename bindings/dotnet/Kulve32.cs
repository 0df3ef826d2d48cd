// SPDX-License-Identifier: MIT
// Declarations of every KULVE32 export for .NET (C#, VB.NET through a
// reference to this file's assembly) and Mono.
//
// Each function returns 0 for success, the reader's own status when it
// refuses, a link-failure letter 'e' (0x65) .. 's' (0x73) naming the step of
// the frame that failed, or one of the library codes 3, 4, 19 below; see
// kulve32.h for every contract. Byte arrays must hold at least the size
// given in each function's comment: the library trusts it.
//
// On Windows the runtime finds KULVE32.DLL next to the program. On Linux
// "KULVE32" must be mapped to libkulve32.so: with Mono a dllmap in the
// program's .config file (see example/Example.exe.config); with .NET 5 and
// later NativeLibrary.SetDllImportResolver.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Kulve
{
    public static class Kulve32
    {
        public const string Library = "KULVE32";

        // ---- Results --------------------------------------------------------
        public const int Ok = 0;
        public const int NotForCardType = 3;   // not available for the selected card type (nothing sent)
        public const int BadArgument = 4;      // argument out of range (nothing sent)
        public const int WrongCard = 19;       // the inserted card does not match the selected type
        public const int LinkFailureFirst = 0x65;  // 'e'
        public const int LinkFailureLast = 0x73;   // 's'

        public static bool IsLinkFailure(int result)
        {
            return result >= LinkFailureFirst && result <= LinkFailureLast;
        }

        // ---- Sizes of the caller's buffers ----------------------------------
        public const int DeviceNumberSize = 8;   // GetDeviceNumber
        public const int VersionSize = 8;        // DEVVER
        public const int DesKeySize = 8;         // EnDesData, UnDesData
        public const int DesBlockSize = 8;
        public const int SecretCounterSize = 2;  // ReadSecret
        public const int SecretCodeSize = 4;     // ReadSecret, CheckZoneSecret; and the least for every code or key buffer
        public const int MaxPortPath = 255;      // SetComPortPath, GetComPortPath (plus the NUL)
        public const int CardMemoryArea = 18;    // ReadCard/WriteCard/EraseCard area
        public const int SecurityMemoryArea = 2;

        // ---- Link ------------------------------------------------------------

        /// <summary>Opens port index 0..9 (COM1..COM10) at 57600, else 9600 bit/s. 0 = linked, 1 = no reader.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int LinkCom(int port);

        /// <summary>Purges and closes the port, then pauses 1000 ms. 0 = closed, 1 = nothing open.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int UnLinkCom();

        /// <summary>Tries COM1 then COM2 (COM2 first when port is 1); on success port is the index linked.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int AutoLinkCom(ref int port);

        /// <summary>The speed of the last link: 57600, 9600 or 0.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ComBaudRate();

        // ---- Reader housekeeping ----------------------------------------------

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int PowerOn();

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int PowerOff();

        /// <summary>Tells the reader the card type (its low 8 bits are sent).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SelectCard(int cardType);

        /// <summary>The reader's card type, second state value and power state (1 on, 0 off).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int Inquire(out int cardType, out int state, out int power);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetStandby();

        /// <summary>number: 8 bytes, zeroed first, the device number on success.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int GetDeviceNumber([Out] byte[] number);

        /// <summary>version: 8 bytes, the reader's version on success.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int DEVVER([Out] byte[] version);

        /// <summary>mode 1..7 (else 4, nothing sent); the low bytes of all four values are sent.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ALARM(int mode, int a, int b, int c);

        /// <summary>The library version, 7321.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int DLLVER();

        // ---- Contact memory cards ------------------------------------------------
        // Addressed access: address = page * 256 + offset, at most 65536 in all.

        /// <summary>buffer: count bytes, filled with the card bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ReadCard(int area, int page, int offset, int count, [Out] byte[] buffer);

        /// <summary>buffer: count bytes to write; the reader's replies are copied back over them.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int WriteCard(int area, int page, int offset, int count, [In, Out] byte[] buffer);

        /// <summary>buffer: count bytes, set to 0xFF and written (or erased, by card type).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int EraseCard(int area, int page, int offset, int count, [In, Out] byte[] buffer);

        /// <summary>Paged read at a flat address; buffer: count bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ReadMemCard(int address, int count, [Out] byte[] buffer);

        /// <summary>Paged write at a flat address; buffer: count bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int WriteMemCard(int address, int count, [In, Out] byte[] buffer);

        /// <summary>buffer: count bytes, set to 0xFF, then written as WriteMemCard.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int EraseMemCard(int address, int count, [In, Out] byte[] buffer);

        /// <summary>0 = the card matches the selected type, 19 = it does not.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int VerifyIC();

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int Fuse(int value);

        // Security codes: every code or key buffer holds at least 4 bytes
        // (SecretCodeSize), and at least length bytes where that is more.

        /// <summary>code: max(length, 4) bytes; receives the reader's answer.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int CheckSecret(int length, [In, Out] byte[] code);

        /// <summary>counter: 2 bytes; code: 4 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ReadSecret([Out] byte[] counter, [Out] byte[] code);

        /// <summary>code: max(length, 4) bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ModifySecret(int length, [In, Out] byte[] code);

        /// <summary>key: 4 bytes (6 for key number 4 of card type 16).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int CheckEraseSecret(int keyNumber, [In, Out] byte[] key);

        /// <summary>code: 4 bytes, the first 2 sent.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int CheckZoneSecret(int zone, [In, Out] byte[] code);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetZoneRWBit(int zone, int access);

        // ---- Software DES (ECB) -------------------------------------------------

        /// <summary>input, output: length bytes (a multiple of 8); key: 8 bytes. Thread-safe.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int EnDesData([In] byte[] input, [In] byte[] key, [Out] byte[] output, int length);

        /// <summary>As EnDesData, deciphering.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int UnDesData([In] byte[] input, [In] byte[] key, [Out] byte[] output, int length);

        // ---- Extensions -------------------------------------------------------------

        /// <summary>The device port index 0..9 opens from the next LinkCom on.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern int SetComPortPath(int port, string path);

        /// <summary>path: a StringBuilder with a capacity of size (MaxPortPath + 1 is always enough).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern int GetComPortPath(int port, StringBuilder path, int size);

        /// <summary>
        /// A static text owned by the library: read it with DescribeResult, never as a
        /// returned string (the marshaller would try to free it).
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern IntPtr ResultText(int result);

        /// <summary>The code of the last link failure; its text, cut to size, into text.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern int GetLinkError(StringBuilder text, int size);

        /// <summary>Receives one trace line; line is valid only during the call.</summary>
        [UnmanagedFunctionPointer(CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public delegate void TraceCallback(int level, string line, IntPtr context);

        /// <summary>
        /// Trace level 0..3; lines go to callback, else to standard error. Keep the
        /// delegate referenced (a static field) for as long as it is set.
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetTrace(int level, TraceCallback callback, IntPtr context);

        // ---- Helpers -------------------------------------------------------------------

        /// <summary>The library's description of a result ("ok", "link failure 'f': ...").</summary>
        public static string DescribeResult(int result)
        {
            return Marshal.PtrToStringAnsi(ResultText(result));
        }

        /// <summary>Why the link last failed, with the system's reason ("" when nothing failed).</summary>
        public static string LinkErrorText()
        {
            var text = new StringBuilder(512);
            GetLinkError(text, text.Capacity);
            return text.ToString();
        }
    }
}
