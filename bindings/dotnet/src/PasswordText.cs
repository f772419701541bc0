// Passwords are bytes to the library. A .NET string is turned into the bytes
// the library's C++ hosts would pass for the same text, so that an archive
// packed from C# opens with the password typed into those hosts, and back:
// the system ANSI code page on Windows (936 on Chinese, 932 on Japanese
// Windows), the locale's character set elsewhere. ASCII passwords are the
// same bytes in all of them and need no code page at all.
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace Parcelon
{
    internal static class PasswordText
    {
        // NUL-terminated bytes, or null for no password. chosen: the
        // archiver's PasswordEncoding, or null for the default above.
        internal static byte[] Encode(string password, Encoding chosen)
        {
            if (password == null)
                return null;
            if (password.IndexOf('\0') >= 0)
                throw new ArgumentException("The password holds a null character.", "password");
            var encoding = IsAscii(password) ? Encoding.ASCII : chosen ?? LibraryEncoding();
            var strict = (Encoding)encoding.Clone();
            strict.EncoderFallback = EncoderFallback.ExceptionFallback;
            byte[] text;
            try
            {
                text = strict.GetBytes(password);
            }
            catch (EncoderFallbackException)
            {
                throw new ArgumentException(
                    "The password has characters that code page " + encoding.WebName +
                    " cannot hold; set Archiver.PasswordEncoding to the encoding the archive's password uses.",
                    "password");
            }
            var bytes = new byte[text.Length + 1];
            Buffer.BlockCopy(text, 0, bytes, 0, text.Length);
            return bytes;
        }

        private static bool IsAscii(string text)
        {
            foreach (var c in text)
                if (c > 0x7F)
                    return false;
            return true;
        }

        private static Encoding LibraryEncoding()
        {
            string name = null;
            try
            {
                if (Path.DirectorySeparatorChar == '\\')
                    return Encoding.GetEncoding((int)GetACP());
                name = LocaleCharset();
                return name == null ? Encoding.UTF8 : Encoding.GetEncoding(name);
            }
            catch (Exception error) when (error is ArgumentException || error is NotSupportedException)
            {
                // .NET (Core) knows the Windows code pages only once the host
                // registers CodePagesEncodingProvider.Instance; Mono needs its
                // I18N assemblies for GBK and Shift-JIS.
                throw new ArgumentException(
                    "The password is not ASCII and this runtime lacks the library's code page (" +
                    (name ?? "the ANSI code page") + "); set Archiver.PasswordEncoding, or register " +
                    "System.Text.CodePagesEncodingProvider on .NET.", "password", error);
            }
        }

        // The character set the environment's locale names (LC_ALL, LC_CTYPE,
        // LANG: the first one set), as the library reads it; null for UTF-8
        // and for the C locale.
        private static string LocaleCharset()
        {
            foreach (var variable in new[] { "LC_ALL", "LC_CTYPE", "LANG" })
            {
                var locale = Environment.GetEnvironmentVariable(variable);
                if (string.IsNullOrEmpty(locale))
                    continue;
                int dot = locale.IndexOf('.');
                if (dot < 0)
                    return null;
                var charset = locale.Substring(dot + 1);
                int at = charset.IndexOf('@');
                if (at >= 0)
                    charset = charset.Substring(0, at);
                var bare = charset.Replace("-", "").ToLowerInvariant();
                return bare == "utf8" ? null : charset;
            }
            return null;
        }

        [DllImport("kernel32.dll", ExactSpelling = true)]
        private static extern uint GetACP();
    }
}
