// Drives the Java port of Monkey's Audio (libjmac-java) for the tests:
//   encode <level> <channels> <bits> <in.raw> <out.ape>
//   decode <in.ape> <out.raw>
// Several commands may follow each other in one run. The encoder is told
// the exact byte count and fed 4096-byte chunks, which divide every frame
// (it mixes up frames when one call crosses a frame boundary).
import davaguine.jmac.decoder.IAPEDecompress;
import davaguine.jmac.encoder.IAPECompress;
import davaguine.jmac.info.WaveFormat;
import java.io.File;
import java.io.FileOutputStream;
import java.nio.file.Files;
import java.util.Arrays;

public class JmacDriver {
  public static void main(String[] args) throws Exception {
    for (int i = 0; i < args.length;) {
      if (args[i].equals("encode")) {
        encode(Integer.parseInt(args[i + 1]), Integer.parseInt(args[i + 2]),
               Integer.parseInt(args[i + 3]), args[i + 4], args[i + 5]);
        i += 6;
      } else if (args[i].equals("decode")) {
        decode(args[i + 1], args[i + 2]);
        i += 3;
      } else {
        throw new IllegalArgumentException(args[i]);
      }
    }
  }

  static void encode(int level, int channels, int bits, String in, String out) throws Exception {
    byte[] pcm = Files.readAllBytes(new File(in).toPath());
    new File(out).delete();  // Start does not truncate
    WaveFormat format = new WaveFormat();
    WaveFormat.FillWaveFormatEx(format, 44100, bits, channels);
    IAPECompress encoder = IAPECompress.CreateIAPECompress();
    encoder.Start(out, format, pcm.length, level, null,
                  IAPECompress.CREATE_WAV_HEADER_ON_DECOMPRESSION);
    for (int at = 0; at < pcm.length; at += 4096) {
      int n = Math.min(4096, pcm.length - at);
      encoder.AddData(Arrays.copyOfRange(pcm, at, at + n), n);
    }
    encoder.Finish(null, 0, 0);
    encoder.Kill();
  }

  static void decode(String in, String out) throws Exception {
    IAPEDecompress decoder =
        IAPEDecompress.CreateIAPEDecompress(davaguine.jmac.tools.File.createFile(in, "r"));
    int align = decoder.getApeInfoBlockAlign();
    byte[] buffer = new byte[4096 * align];
    try (FileOutputStream os = new FileOutputStream(out)) {
      int blocks;
      while ((blocks = decoder.GetData(buffer, 4096)) > 0) os.write(buffer, 0, blocks * align);
    }
    decoder.getApeInfoIoSource().close();
  }
}
