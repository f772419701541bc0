// Text to and from the library's UTF-8: paths and patterns go out as
// NUL-terminated bytes, names and messages come back from const char*.
using System;
using System.Collections.Generic;
using System.Runtime.InteropServices;
using System.Text;

namespace Parcelon
{
    internal static class Utf8
    {
        // Strict: a string with an unpaired surrogate is refused rather than
        // sent with U+FFFD, which would name another file.
        private static readonly UTF8Encoding Strict = new UTF8Encoding(false, true);

        internal static byte[] Encode(string text, string parameterName)
        {
            if (text == null)
                throw new ArgumentNullException(parameterName);
            if (text.IndexOf('\0') >= 0)
                throw new ArgumentException("The text holds a null character.", parameterName);
            int length;
            try
            {
                length = Strict.GetByteCount(text);
            }
            catch (EncoderFallbackException)
            {
                throw new ArgumentException("The text holds an unpaired surrogate and has no UTF-8 form.",
                                            parameterName);
            }
            var bytes = new byte[length + 1];
            Strict.GetBytes(text, 0, text.Length, bytes, 0);
            return bytes;
        }

        internal static string Decode(IntPtr text)
        {
            if (text == IntPtr.Zero)
                return string.Empty;
            int length = 0;
            while (Marshal.ReadByte(text, length) != 0)
                length++;
            var bytes = new byte[length];
            Marshal.Copy(text, bytes, 0, length);
            return Encoding.UTF8.GetString(bytes);
        }
    }

    // A list of strings as the const char* const* the library takes: each
    // string's UTF-8 bytes pinned until Dispose.
    internal sealed class Utf8List : IDisposable
    {
        private readonly List<GCHandle> pins = new List<GCHandle>();

        internal Utf8List(IEnumerable<string> items, string parameterName)
        {
            var pointers = new List<IntPtr>();
            if (items != null)
            {
                try
                {
                    foreach (var item in items)
                    {
                        if (item == null)
                            throw new ArgumentException("The list holds a null entry.", parameterName);
                        var pin = GCHandle.Alloc(Utf8.Encode(item, parameterName), GCHandleType.Pinned);
                        pins.Add(pin);
                        pointers.Add(pin.AddrOfPinnedObject());
                    }
                }
                catch
                {
                    Dispose();
                    throw;
                }
            }
            Pointers = pointers.ToArray();
        }

        internal IntPtr[] Pointers { get; private set; }

        internal UIntPtr Count
        {
            get { return new UIntPtr((uint)Pointers.Length); }
        }

        public void Dispose()
        {
            foreach (var pin in pins)
                pin.Free();
            pins.Clear();
        }
    }
}
