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
    /// <summary>The attendance terminal's clock (KqTime: seven integers, one clock byte each).</summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct KqTime
    {
        public int Year;     // field[0]: the year byte, 0 = 2000
        public int Month;    // field[1]: 1..12
        public int Day;      // field[2]
        public int Hour;     // field[3]: 0..23
        public int Minute;   // field[4]
        public int Second;   // field[5]
        public int Weekday;  // field[6]: 1 (Monday) .. 7 (Sunday); ignored when setting
    }

    /// <summary>A date of the terminal's calendar (KqDate: three bytes).</summary>
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct KqDate
    {
        public byte Year;   // the year byte, 0 = 2000
        public byte Month;  // 1..12
        public byte Day;    // 1..31
    }

    /// <summary>
    /// The record RF5550_Init reads (ten integers). Only Value[0] (password mode),
    /// Value[3] (answer on request) and Value[9] (highest readable block, 0..7) are used.
    /// </summary>
    [StructLayout(LayoutKind.Sequential)]
    public struct Rf5550InitRecord
    {
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 10)]
        public int[] Value;

        public static Rf5550InitRecord Create(bool passwordMode, bool answerOnRequest, int highestBlock)
        {
            var record = new Rf5550InitRecord { Value = new int[10] };
            record.Value[0] = passwordMode ? 1 : 0;
            record.Value[3] = answerOnRequest ? 1 : 0;
            record.Value[9] = highestBlock;
            return record;
        }
    }

    /// <summary>
    /// A command APDU laid out as the request of the ...Cmd functions: CLA, INS, P1, P2 at
    /// 0..3, Lc at 4, command data at 5..132, Le at 133 (sent only when Lc is 0).
    /// ToArray() gives that request, ToPacked() the packed one of ProCpuCard and ProSamCardN.
    /// </summary>
    [StructLayout(LayoutKind.Sequential, Pack = 1)]
    public struct ApduRequest
    {
        public byte Cla, Ins, P1, P2, Lc;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = Kulve32.ApduMaxData)]
        public byte[] Data;
        public byte Le;

        /// <summary>data: at most ApduMaxData bytes (else ArgumentException); le: sent only without data.</summary>
        public static ApduRequest Create(byte cla, byte ins, byte p1, byte p2, byte[] data = null, byte le = 0)
        {
            data = data ?? new byte[0];
            if (data.Length > Kulve32.ApduMaxData)
                throw new ArgumentException("an APDU carries at most " + Kulve32.ApduMaxData + " data bytes", "data");
            var request = new ApduRequest { Cla = cla, Ins = ins, P1 = p1, P2 = p2, Lc = (byte)data.Length, Le = le };
            request.Data = new byte[Kulve32.ApduMaxData];
            Array.Copy(data, request.Data, data.Length);
            return request;
        }

        private byte[] Header(int size)
        {
            var bytes = new byte[size];
            bytes[0] = Cla; bytes[1] = Ins; bytes[2] = P1; bytes[3] = P2; bytes[4] = Lc;
            if (Data != null) Array.Copy(Data, 0, bytes, 5, Math.Min(Math.Min((int)Lc, Data.Length), Kulve32.ApduMaxData));
            return bytes;
        }

        /// <summary>The ApduRequestSize-byte request of ProCpuCardCmd and ProSamCardNCmd.</summary>
        public byte[] ToArray()
        {
            var bytes = Header(Kulve32.ApduRequestSize);
            bytes[Kulve32.ApduRequestSize - 1] = Le;
            return bytes;
        }

        /// <summary>The PackedApduSize-byte request of ProCpuCard and ProSamCardN: CLA INS P1 P2 Lc data Le.</summary>
        public byte[] ToPacked()
        {
            var bytes = Header(Kulve32.PackedApduSize);
            bytes[5 + Math.Min((int)Lc, Kulve32.ApduMaxData)] = Le;
            return bytes;
        }
    }

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
        public const int AtrBufferSize = 256;       // CpuCardReset, SamCardNReset: count byte + ATR
        public const int ApduRequestSize = 134;     // the request of ProCpuCardCmd, ProSamCardNCmd
        public const int ApduMaxData = 128;         // largest Lc
        public const int PackedApduSize = 138;      // the request of ProCpuCard, ProSamCardN (10 + Lc suffice)
        public const int ApduResponseSize = 254;    // count byte + up to 253 response bytes
        public const int At1608MaxLength = 160;     // AT1608_Read, AT1608_Write
        public const int At1608PasswordSize = 4;    // AT1608_Psw (3 bytes sent)
        public const int At1608BlockSize = 8;       // AT1608_Authentic challenge and seed
        public const int E5550BlockSize = 4;        // RF5550_* data and password; RF5550_Mcmno answer
        public const int MifareKeySize = 6;
        public const int MifareBlockSize = 16;
        public const int MifareValueSize = 4;       // also the serial number and the two-byte answers
        public const int MifareCardSize = 768;      // RFMifare_ReadBloca: 16 sectors of 48 bytes
        public const int MifareEverySector = 0xFF;  // a MifareDumpCard key entry for every sector

        /// <summary>The bytes of a Mifare image of the first `sectors` sectors (KULVE_MIFARE_IMAGE_SIZE).</summary>
        public static int MifareImageSize(int sectors)
        {
            return sectors <= 32 ? sectors * 64 : 2048 + (sectors - 32) * 256;
        }
        public const int KqPositionSize = 4;        // KQ_GetCurrentPos, KQ_GetStartPos, KQ_GetEndPos
        public const int KqRecordBufferSize = 255;  // KQ_ReadRecord
        public const int KqRecordSize = 8;
        public const int KqDisplaySize = 16;        // KQ_Display
        public const int KqTransCmdBufferSize = 256;
        public const int KqPasswordSize = 6;        // KQ_DownloadPSW (4 for kind 1)

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

        // ---- CPU card and SAM slots (T=0 / T=1 APDUs) ---------------------------
        // One framing (T=0 or T=1) and one T=1 send-sequence bit serve all five
        // slots: the last successful reset of any slot decides the framing of
        // every later APDU. The APDU functions return SW1 * 256 + SW2 (above 255)
        // when the card answered, else the reader's status or a link-failure
        // letter (1..255).

        /// <summary>atr: AtrBufferSize bytes; atr[0] = n, atr[1..n] = the answer to reset (atr[0] = 0 on failure).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int CpuCardReset([Out] byte[] atr);

        /// <summary>As CpuCardReset, for SAM 1.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SamCard1Reset([Out] byte[] atr);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SamCard2Reset([Out] byte[] atr);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SamCard3Reset([Out] byte[] atr);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SamCard4Reset([Out] byte[] atr);

        /// <summary>1 when APDUs are framed as T=1 (before any reset too), 0 for T=0. No exchange.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int CPUCardProtocolType();

        /// <summary>
        /// request: ApduRequestSize bytes (ApduRequest.ToArray()); response: ApduResponseSize
        /// bytes, response[0] = n (CountedBytes), then the n response data bytes (without the status word).
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProCpuCardCmd([In] byte[] request, [Out] byte[] response);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProSamCard1Cmd([In] byte[] request, [Out] byte[] response);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProSamCard2Cmd([In] byte[] request, [Out] byte[] response);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProSamCard3Cmd([In] byte[] request, [Out] byte[] response);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProSamCard4Cmd([In] byte[] request, [Out] byte[] response);

        /// <summary>
        /// request: PackedApduSize bytes (ApduRequest.ToPacked()), in and out: afterwards
        /// request[0] = the length of the block as framed and request[1..] the block.
        /// response: as ProCpuCardCmd.
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProCpuCard([In, Out] byte[] request, [Out] byte[] response);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProSamCard1([In, Out] byte[] request, [Out] byte[] response);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProSamCard2([In, Out] byte[] request, [Out] byte[] response);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProSamCard3([In, Out] byte[] request, [Out] byte[] response);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ProSamCard4([In, Out] byte[] request, [Out] byte[] response);

        // ---- AT88SC1608 secure memory ---------------------------------------------
        // Zones 0..7 (user) and 8 (configuration), addresses 0..255, 0..160 bytes.

        /// <summary>data: length bytes, read only.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int AT1608_Write(int zone, int address, int length, [In] byte[] data);

        /// <summary>buffer: length bytes, written only on success.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int AT1608_Read(int zone, int address, int length, [Out] byte[] buffer);

        /// <summary>password: 4 bytes, bytes 0..2 sent; afterwards byte 0 = the attempts left (0..8) when the reply gave them.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int AT1608_Psw(int index, [In, Out] byte[] password);

        /// <summary>
        /// challenge: 8 bytes in and out (byte 0 = attempts left, byte 1 = '0' + attempts);
        /// seed: 8 bytes, never sent. 0 = the card's answer matched, 3 = it did not.
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int AT1608_Authentic([In, Out] byte[] challenge, [In] byte[] seed);

        /// <summary>fuse: 1 byte, written only on success with a one-byte reply.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int AT1608_ReadFuse([In, Out] byte[] fuse);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int AT1608_Reset();

        // ---- e5550 transponders ----------------------------------------------------
        // Blocks and passwords are 4 bytes; a block is written into data only on success.

        /// <summary>data: 4 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RF5550_ReadBlk(int block, [In, Out] byte[] data);

        /// <summary>password, data: 4 bytes; data then holds the block as stored. Block 0 only as -1 (0 gives 4).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RF5550_WriteBlk(int block, [In] byte[] password, [In, Out] byte[] data, int lockBlock);

        /// <summary>record: Value[0], Value[3] and Value[9] give the option byte; password: 4 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RF5550_Init(ref Rf5550InitRecord record, [In] byte[] password, int flag);

        /// <summary>password: 4 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RF5550_Wake([In] byte[] password);

        /// <summary>password, data: 4 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RF5550_ReadAfterWake(int block, [In] byte[] password, [In, Out] byte[] data);

        /// <summary>As RF5550_WriteBlk.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RF5550_WriteAfterWake(int block, [In] byte[] password, [In, Out] byte[] data, int lockBlock);

        /// <summary>answer: 4 bytes, the reply's two bytes then two zeros (written only on success).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RF5550_Mcmno([In, Out] byte[] answer);

        // ---- Mifare Classic ----------------------------------------------------------
        // A call that fails on the line relinks and repeats (3 exchanges at most).
        // Buffers are written whatever the result: zeros where the reply had no bytes.
        // param: the reader's card selector, sent least significant byte first.

        /// <summary>answer: 4 bytes (two answer bytes, then two zeros).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Mcmno([Out] byte[] answer);

        /// <summary>mode 0 or 1 (else 4, nothing sent).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Authmode(int mode);

        /// <summary>slot 0..15; key: 6 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_TransKey(int slot, [In] byte[] key);

        /// <summary>answer: 4 bytes (two answer bytes, then two zeros).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_GetType([Out] byte[] answer);

        /// <summary>serial: 4 bytes, in the order the reader sends them.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_GetSnr([Out] byte[] serial);

        /// <summary>data: 16 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_ReadBlock(int block, uint param, [Out] byte[] data);

        /// <summary>data: 16 bytes in; the 16 reply bytes out.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_WriteBlock(int block, uint param, [In, Out] byte[] data);

        /// <summary>key: 6 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_WriteKey(int selector, uint param, [In] byte[] key, int flag);

        /// <summary>value: 4 bytes, least significant first.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_ReadValue(int block, uint param, [Out] byte[] value);

        /// <summary>value: 4 bytes in; the 4 reply bytes out.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_WriteValue(int block, uint param, [In, Out] byte[] value);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_IncrementValue(int block, uint param, [In, Out] byte[] value);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_DecrementValue(int block, uint param, [In, Out] byte[] value);

        /// <summary>card: MifareCardSize (768) bytes, 48 per sector; first is not used.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_ReadBloca(int first, uint param, [In, Out] byte[] card);

        /// <summary>key: 6 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_LoadKey(int first, int second, [In] byte[] key);

        /// <summary>answer: 4 bytes (two answer bytes, then two zeros).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Request(int mode, [Out] byte[] answer);

        /// <summary>serial: 4 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_AntiColl([Out] byte[] serial);

        /// <summary>serial: the 4 bytes of RFMifare_AntiColl read as a little-endian number.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Select(uint serial);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Authentication(int first, int second, int third);

        /// <summary>data: 16 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Read(int block, [Out] byte[] data);

        /// <summary>data: 16 bytes.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Write(int block, [In] byte[] data);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Increment(int block, uint amount);

        /// <summary>Spelled so in the export table.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Decrment(int block, uint amount);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int RFMifare_Halt();

        // ---- Attendance terminal -------------------------------------------------------
        // Outputs are written only when the result is 0.

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_EndTrans();

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_GetTime(ref KqTime time);

        /// <summary>The low byte of each field is sent; the terminal works the weekday out itself.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_SetTime(ref KqTime time);

        /// <summary>position: 4 bytes (bits 0..15 of the record number, then two zeros); first: bits 16..23.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_GetCurrentPos(ref int first, [In, Out] byte[] position);

        /// <summary>date: 3 integers (year byte, month, day); first, position: as KQ_GetCurrentPos.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_GetStartPos([In] int[] date, ref int first, [In, Out] byte[] position);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_GetEndPos([In] int[] date, ref int first, [In, Out] byte[] position);

        /// <summary>third: the number of records (1..31); record: KqRecordBufferSize (255) bytes, 8 per record.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_ReadRecord(int first, int position, int third, [In, Out] byte[] record);

        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_SysInit();

        /// <summary>text: exactly KqDisplaySize (16) bytes, sent as they are (no terminator is read).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_Display([In] byte[] text);

        /// <summary>
        /// count: 1..255, the sub byte and count - 1 bytes of buffer; buffer: KqTransCmdBufferSize
        /// (256) bytes; on success buffer[0] = the reply length L, buffer[1..L] = the reply.
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_TransCmd(int sub, int count, [In, Out] byte[] buffer);

        /// <summary>The day number of date (year byte 0, January 1 is day 1). No exchange.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_Daysbyte(ref KqDate date);

        /// <summary>The date of a day number. No exchange.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_Datebyte(int dayNumber, out KqDate date);

        /// <summary>password: 4 bytes when kind is 1, else 6.</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int KQ_DownloadPSW(int kind, [In] byte[] password);

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

        /// <summary>The system's error number behind the last link failure (GetLastError; 0 when none).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int GetLinkOsError();

        /// <summary>Receives one trace line; line is valid only during the call.</summary>
        [UnmanagedFunctionPointer(CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public delegate void TraceCallback(int level, string line, IntPtr context);

        /// <summary>
        /// Trace level 0..3; lines go to callback, else to standard error. Keep the
        /// delegate referenced (a static field) for as long as it is set.
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetTrace(int level, TraceCallback callback, IntPtr context);

        /// <summary>
        /// The mode of the APDU calls: 0 = default (one exchange each, as documented),
        /// 1 = full ISO/IEC 7816-3 T=1 and T=0 per slot. 0, or 4 for another mode.
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int SetChipProtocolMode(int mode);

        /// <summary>
        /// One APDU (4..65,544 bytes) to slot 0 (CPU card) or 1..4 (SAM) in the full mode;
        /// response gets data and SW1 SW2, responseLength their count. Result: the status
        /// word, or 4, 40, 41, 42 (responseLength = the size needed), a reader status or a
        /// link-failure letter.
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int ChipTransmit(int slot, byte[] apdu, int apduLength, [Out] byte[] response,
                                              int responseSize, out int responseLength);

        /// <summary>
        /// A whole Mifare Classic card into image (MifareImageSize(sectors) bytes: 16 sectors
        /// 1024, 40 sectors (4K) 4096), keys: entries of 7 bytes (a sector, or
        /// MifareEverySector, then a 6-byte key); status: one byte a sector, 0 = read whole.
        /// Result 0 when every sector was tried, else what ended the dump (1: no card).
        /// </summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int MifareDumpCard(int sectors, byte[] keys, int keysSize, [Out] byte[] image,
                                                int imageSize, [Out] byte[] status, int statusSize);

        /// <summary>An image back onto the card (block 0 never; trailers when trailers is 1).</summary>
        [DllImport(Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int MifareRestoreCard(int sectors, byte[] keys, int keysSize, byte[] image,
                                                   int imageSize, int trailers);

        // ---- Helpers -------------------------------------------------------------------

        /// <summary>The library's description of a result ("ok", "link failure 'f': ...").</summary>
        public static string DescribeResult(int result)
        {
            return Marshal.PtrToStringAnsi(ResultText(result));
        }

        /// <summary>
        /// The bytes of a buffer whose first byte counts them: an ATR, an APDU response,
        /// the block ProCpuCard framed, a KQ_TransCmd reply.
        /// </summary>
        public static byte[] CountedBytes(byte[] buffer)
        {
            int count = Math.Min((int)buffer[0], buffer.Length - 1);
            var data = new byte[count];
            Array.Copy(buffer, 1, data, 0, count);
            return data;
        }

        /// <summary>Why the link last failed, with the system's reason ("" when nothing failed).</summary>
        public static string LinkErrorText()
        {
            var text = new StringBuilder(512);
            GetLinkError(text, text.Capacity);
            return text.ToString();
        }
    }

    /// <summary>
    /// A reader opened with KulveHandles.kulve_open, closed with kulve_close
    /// (which pauses 1 s) when disposed or finalised. Open one per reader: calls
    /// on two handles run in parallel; calls on one handle from several threads
    /// run one after another.
    /// </summary>
    public sealed class ReaderHandle : SafeHandle
    {
        public ReaderHandle() : base(IntPtr.Zero, true) { }

        public override bool IsInvalid { get { return handle == IntPtr.Zero; } }

        protected override bool ReleaseHandle()
        {
            KulveHandles.kulve_close(handle);
            return true;
        }
    }

    /// <summary>
    /// The handle API: the documented functions of Kulve32 for any number of
    /// readers, each through its own ReaderHandle, with the size of every byte
    /// array passed after it (a size below the documented minimum returns
    /// BadArgument with nothing sent). Results as the documented function named
    /// in each summary; kulve_result_origin tells a reader status from the
    /// library's code of the same value. See kulve32.h for every contract.
    /// </summary>
    public static class KulveHandles
    {
        public const int OriginLibrary = 0;  // kulve_result_origin
        public const int OriginReader = 1;
        public const int OriginLine = 2;

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern int kulve_open(string port, out ReaderHandle reader);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern void kulve_close(IntPtr reader);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_result_origin(ReaderHandle reader, int result);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern IntPtr kulve_result_text(ReaderHandle reader, int result);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall, CharSet = CharSet.Ansi)]
        public static extern int kulve_link_error(ReaderHandle reader, StringBuilder text, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_link_os_error(ReaderHandle reader);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_set_trace(ReaderHandle reader, int level, Kulve32.TraceCallback callback, IntPtr context);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_set_trace_secrets(ReaderHandle reader, int show);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_relink(ReaderHandle reader);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_baud_rate(ReaderHandle reader);

        /// <summary>As PowerOn.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_power_on(ReaderHandle reader);

        /// <summary>As PowerOff.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_power_off(ReaderHandle reader);

        /// <summary>As SelectCard.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_select_card(ReaderHandle reader, int cardType);

        /// <summary>As Inquire.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_inquire(ReaderHandle reader, ref int cardType, ref int state, ref int power);

        /// <summary>As SetStandby.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_standby(ReaderHandle reader);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_device_number(ReaderHandle reader, [In, Out] byte[] number, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_version(ReaderHandle reader, [In, Out] byte[] version, int size);

        /// <summary>As ALARM.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_alarm(ReaderHandle reader, int mode, int a, int b, int c);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_reader_command(ReaderHandle reader, int code, [In] byte[] data, int length, [Out] byte[] reply, int replySize, out int replyLength);

        // Card presence (kulve32.h: kulve_wait_presence): slot bits, and the
        // result when nothing changed before the timeout.
        public const int SlotCpu = 0x01, SlotSam1 = 0x02, SlotSam2 = 0x04, SlotSam3 = 0x08, SlotSam4 = 0x10;
        public const int SlotSams = 0x1E, SlotField = 0x20, SlotMemory = 0x40, SlotAll = 0x7F;
        public const int NoChange = 49;

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_wait_presence(ReaderHandle reader, int slots, int known, int timeoutMs, out int present);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_read(ReaderHandle reader, int area, int page, int offset, int count, [In, Out] byte[] buffer, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_write(ReaderHandle reader, int area, int page, int offset, int count, [In, Out] byte[] buffer, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_erase(ReaderHandle reader, int area, int page, int offset, int count, [In, Out] byte[] buffer, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_read_paged(ReaderHandle reader, int address, int count, [In, Out] byte[] buffer, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_write_paged(ReaderHandle reader, int address, int count, [In, Out] byte[] buffer, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_erase_paged(ReaderHandle reader, int address, int count, [In, Out] byte[] buffer, int size);

        /// <summary>As VerifyIC.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_verify(ReaderHandle reader);

        /// <summary>As Fuse.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_fuse(ReaderHandle reader, int value);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_check_secret(ReaderHandle reader, int length, [In, Out] byte[] code, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_modify_secret(ReaderHandle reader, int length, [In, Out] byte[] code, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_read_secret(ReaderHandle reader, [In, Out] byte[] counter, int counterSize, [In, Out] byte[] code, int codeSize);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_check_erase_secret(ReaderHandle reader, int keyNumber, [In, Out] byte[] key, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_check_zone_secret(ReaderHandle reader, int zone, [In, Out] byte[] code, int size);

        /// <summary>As SetZoneRWBit.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_memcard_set_zone_access(ReaderHandle reader, int zone, int access);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_chip_reset(ReaderHandle reader, int slot, [In, Out] byte[] atr, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_chip_protocol(ReaderHandle reader);

        /// <summary>The IFSC the full mode uses for the slot's card now; 0 for T=0 or before a reset.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_chip_ifsc(ReaderHandle reader, int slot, ref int ifsc);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_chip_apdu(ReaderHandle reader, int slot, [In] byte[] request, int requestSize, [In, Out] byte[] response, int responseSize);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_chip_apdu_packed(ReaderHandle reader, int slot, [In, Out] byte[] request, int requestSize, [In, Out] byte[] response, int responseSize);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_chip_set_protocol_mode(ReaderHandle reader, int mode);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_chip_transmit(ReaderHandle reader, int slot, [In] byte[] apdu, int apduLength, [Out] byte[] response, int responseSize, out int responseLength);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_at1608_write(ReaderHandle reader, int zone, int address, int length, [In] byte[] data, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_at1608_read(ReaderHandle reader, int zone, int address, int length, [In, Out] byte[] buffer, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_at1608_password(ReaderHandle reader, int index, [In, Out] byte[] password, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_at1608_authenticate(ReaderHandle reader, [In, Out] byte[] challenge, int challengeSize, [In] byte[] seed, int seedSize);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_at1608_read_fuse(ReaderHandle reader, [In, Out] byte[] fuse, int size);

        /// <summary>As AT1608_Reset.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_at1608_reset(ReaderHandle reader);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_e5550_read(ReaderHandle reader, int block, [In, Out] byte[] data, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_e5550_write(ReaderHandle reader, int block, [In] byte[] password, int passwordSize, [In, Out] byte[] data, int dataSize, int lockBlock);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_e5550_init(ReaderHandle reader, ref Rf5550InitRecord record, [In] byte[] password, int passwordSize, int flag);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_e5550_wake(ReaderHandle reader, [In] byte[] password, int passwordSize);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_e5550_read_after_wake(ReaderHandle reader, int block, [In] byte[] password, int passwordSize, [In, Out] byte[] data, int dataSize);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_e5550_write_after_wake(ReaderHandle reader, int block, [In] byte[] password, int passwordSize, [In, Out] byte[] data, int dataSize, int lockBlock);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_e5550_module(ReaderHandle reader, [In, Out] byte[] answer, int size);

        /// <summary>As RFMifare_Mcmno.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_module(ReaderHandle reader, [In, Out] byte[] answer, int size);

        /// <summary>As RFMifare_Authmode.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_key_mode(ReaderHandle reader, int mode);

        /// <summary>As RFMifare_TransKey.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_store_key(ReaderHandle reader, int slot, [In] byte[] key, int size);

        /// <summary>As RFMifare_GetType.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_card_type(ReaderHandle reader, [In, Out] byte[] answer, int size);

        /// <summary>As RFMifare_GetSnr.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_serial(ReaderHandle reader, [In, Out] byte[] serial, int size);

        /// <summary>As RFMifare_ReadBlock.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_read_block(ReaderHandle reader, int block, uint param, [In, Out] byte[] data, int size);

        /// <summary>As RFMifare_WriteBlock.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_write_block(ReaderHandle reader, int block, uint param, [In, Out] byte[] data, int size);

        /// <summary>As RFMifare_WriteKey.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_write_key(ReaderHandle reader, int selector, uint param, [In] byte[] key, int size, int flag);

        /// <summary>As RFMifare_ReadValue.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_read_value(ReaderHandle reader, int block, uint param, [In, Out] byte[] value, int size);

        /// <summary>As RFMifare_WriteValue.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_write_value(ReaderHandle reader, int block, uint param, [In, Out] byte[] value, int size);

        /// <summary>As RFMifare_IncrementValue.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_increment_value(ReaderHandle reader, int block, uint param, [In, Out] byte[] value, int size);

        /// <summary>As RFMifare_DecrementValue.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_decrement_value(ReaderHandle reader, int block, uint param, [In, Out] byte[] value, int size);

        /// <summary>As RFMifare_ReadBloca.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_read_card(ReaderHandle reader, int first, uint param, [In, Out] byte[] card, int size);

        /// <summary>As RFMifare_LoadKey.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_load_key(ReaderHandle reader, int first, int second, [In] byte[] key, int size);

        /// <summary>As RFMifare_Request.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_request(ReaderHandle reader, int mode, [In, Out] byte[] answer, int size);

        /// <summary>As RFMifare_AntiColl.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_anticollision(ReaderHandle reader, [In, Out] byte[] serial, int size);

        /// <summary>As RFMifare_Select.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_select(ReaderHandle reader, uint serial);

        /// <summary>As RFMifare_Authentication.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_authenticate(ReaderHandle reader, int first, int second, int third);

        /// <summary>As RFMifare_Read.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_read(ReaderHandle reader, int block, [In, Out] byte[] data, int size);

        /// <summary>As RFMifare_Write.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_write(ReaderHandle reader, int block, [In] byte[] data, int size);

        /// <summary>As RFMifare_Increment.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_increment(ReaderHandle reader, int block, uint amount);

        /// <summary>As RFMifare_Decrment.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_decrement(ReaderHandle reader, int block, uint amount);

        /// <summary>As RFMifare_Halt.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_halt(ReaderHandle reader);

        /// <summary>As MifareDumpCard.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_dump(ReaderHandle reader, int sectors, byte[] keys, int keysSize,
                                                   [Out] byte[] image, int imageSize, [Out] byte[] status,
                                                   int statusSize);

        /// <summary>As MifareRestoreCard.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_mifare_restore(ReaderHandle reader, int sectors, byte[] keys, int keysSize,
                                                      byte[] image, int imageSize, int trailers);

        /// <summary>As KQ_EndTrans.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_end_transfer(ReaderHandle reader);

        /// <summary>As KQ_GetTime.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_get_time(ReaderHandle reader, ref KqTime time);

        /// <summary>As KQ_SetTime.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_set_time(ReaderHandle reader, ref KqTime time);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_current_position(ReaderHandle reader, ref int first, [In, Out] byte[] position, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_start_position(ReaderHandle reader, [In] int[] date, ref int first, [In, Out] byte[] position, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_end_position(ReaderHandle reader, [In] int[] date, ref int first, [In, Out] byte[] position, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_read_records(ReaderHandle reader, int first, int position, int third, [In, Out] byte[] record, int size);

        /// <summary>As KQ_SysInit.</summary>
        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_init(ReaderHandle reader);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_display(ReaderHandle reader, [In] byte[] text, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_command(ReaderHandle reader, int sub, int count, [In, Out] byte[] buffer, int size);

        [DllImport(Kulve32.Library, CallingConvention = CallingConvention.StdCall)]
        public static extern int kulve_kq_download_password(ReaderHandle reader, int kind, [In] byte[] password, int size);

        /// <summary>Words for a result of the last call on reader (a reader status worded as one).</summary>
        public static string DescribeResult(ReaderHandle reader, int result)
        {
            return Marshal.PtrToStringAnsi(kulve_result_text(reader, result));
        }

        /// <summary>Why the handle's link last failed ("" when nothing failed).</summary>
        public static string LinkErrorText(ReaderHandle reader)
        {
            var text = new StringBuilder(512);
            kulve_link_error(reader, text, text.Capacity);
            return text.ToString();
        }
    }
}
