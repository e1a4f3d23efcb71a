<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE wfs:FeatureCollection [ <!ENTITY x "a>b"> <!-- ] > --> <![ IGNORE [ <!ELEMENT y ANY> ]]> ]>
<wfs:FeatureCollection xmlns:wfs="http://www.opengis.net/wfs/2.0" xmlns:gml="http://www.opengis.net/gml/3.2" xmlns:ms="http://mapserver.gis.umn.edu/mapserver">
<!-- <wfs:member><ms:fake/></wfs:member> -->
<?pi </wfs:member> ?>
<wfs:member ><ms:a gml:id="a" id='1'><ms:note><![CDATA[</wfs:member><wfs:member>]]></ms:note><ms:q a="</wfs:member>" b='>'/><ms:g><gml:Polygon srsName="EPSG&#x3A;2180"><gml:exterior><gml:LinearRing><gml:posList>250200 500100 250200 500110 250210 500110</gml:posList></gml:LinearRing></gml:exterior></gml:Polygon></ms:g></ms:a></wfs:member >
<gml:featureMember/>
<wfs:additionalObjects><wfs:SimpleFeatureCollection srsName="urn:ogc:def:crs:EPSG::2178"><wfs:member><wfs:FeatureCollection><wfs:member><ms:b id="2"><ms:g><gml:Point><gml:pos>5800000 7500000</gml:pos></gml:Point></ms:g></ms:b></wfs:member></wfs:FeatureCollection></wfs:member></wfs:SimpleFeatureCollection></wfs:additionalObjects>
</wfs:FeatureCollection>
